// The main window's boxes on real desktops: long texts show their start, dark palettes, screen readers.
#include "app/form1.h"
#include "app/shape_widget.h"
#include "chart/chart_widget.h"
#include "link/alarm_rules.h"
#include "support/form_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tessaro;

namespace {

// The most frequent colour inside the box's frame: its background.
QRgb background(const QImage& img, const QRect& inner) {
    QMap<QRgb, int> n;
    for (int y = inner.top(); y <= inner.bottom(); ++y)
        for (int x = inner.left(); x <= inner.right(); ++x) ++n[img.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (auto it = n.cbegin(); it != n.cend(); ++it)
        if (it.value() > most) most = it.value(), best = it.key();
    return best;
}

int distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

QRect inside(const QWidget* w) { return w->rect().adjusted(3, 3, -3, -3); }

// Columns of the box's inside holding any pixel unlike the background.
QList<int> ink_columns(QLineEdit* box) {
    const QImage img = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect inner = inside(box).intersected(img.rect());
    const QRgb bg = background(img, inner);
    QList<int> cols;
    for (int x = inner.left(); x <= inner.right(); ++x)
        for (int y = inner.top(); y <= inner.bottom(); ++y)
            if (distance(img.pixel(x, y), bg) > 60) {
                cols << x;
                break;
            }
    return cols;
}

// The text's first character is drawn in the box's left half and its end is out of view. A selection
// (a Tab into the box selects all) is taken away first: only the scrolling is looked at.
void verifyStartShown(QLineEdit* box, const char* step) {
    if (box->hasSelectedText()) {
        QCOMPARE(box->cursorPosition(), box->selectionStart());
        box->deselect();
    }
    const QList<int> ink = ink_columns(box);
    QVERIFY2(!ink.isEmpty(), qPrintable(box->objectName() + ": nothing drawn " + step));
    QVERIFY2(ink.last() < box->width() / 2, qPrintable(QStringLiteral("%1 %4: ink at %2 of %3")
                                                           .arg(box->objectName())
                                                           .arg(ink.last())
                                                           .arg(box->width())
                                                           .arg(QLatin1String(step))));
}

// The window active on screen and its text box `n` shown, as the operator meets them.
bool showBox(Form1& form, int n, QLineEdit*& box) {
    QApplication::setActiveWindow(&form);
    if (!QTest::qWaitForWindowActive(&form)) return false;
    box = form.text_box(n);
    box->show();
    return true;
}

// Wider than any box: its start and its end cannot both be in view.
QString longText() { return QStringLiteral("H") + QString(400, QLatin1Char(' ')) + QStringLiteral("tail"); }

QPalette dark_palette() {
    QPalette p;
    const QColor window(53, 53, 53), base(42, 42, 42), text(230, 230, 230);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

} // namespace

class TstWindowLooks : public QObject {
    Q_OBJECT

private slots:
    void longTextShowsItsStart_data() {
        QTest::addColumn<int>("box");
        // Text35 takes at most 5 characters: its text cannot outgrow the box.
        for (int n = 1; n <= 42; ++n)
            if (n != 35) QTest::newRow(qPrintable(QStringLiteral("Text%1").arg(n))) << n;
    }
    void longTextShowsItsStart() {
        // Catches a box that scrolls a long text written by the program to its end (the reading
        // "1234.5mA" shown as "234.5mA", a page status or table line losing its start), also when the
        // same text is written again and when the box takes the focus by Tab and loses it.
        QFETCH(int, box);
        test::FormFixture f;
        Form1& form = *f.form;
        QLineEdit* w = nullptr;
        QVERIFY(showBox(form, box, w));
        const QString text = longText();
        w->setText(text);
        verifyStartShown(w, "after the write");
        if (QTest::currentTestFailed()) return;
        w->setText(text); // the same text again moves Qt's cursor to the end without a change signal
        verifyStartShown(w, "after the same write");
        if (QTest::currentTestFailed()) return;
        w->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(w->hasFocus());
        verifyStartShown(w, "with the focus");
        if (QTest::currentTestFailed()) return;
        w->selectAll();
        form.Command9->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!w->hasFocus());
        verifyStartShown(w, "after the focus left");
    }

    void operatorMovesTheCursorOfAReadOnlyBox_data() {
        QTest::addColumn<int>("box");
        for (const int n : {1, 29, 31, 38, 40, 41, 42}) QTest::newRow(qPrintable(QStringLiteral("Text%1").arg(n))) << n;
    }
    void operatorMovesTheCursorOfAReadOnlyBox() {
        // Catches a read-only box that snaps its cursor back to the start, so that End and the arrow
        // keys (or a click) cannot bring the hidden end of a long reading or page status into view;
        // and a program write that no longer shows the start of its text.
        QFETCH(int, box);
        test::FormFixture f;
        Form1& form = *f.form;
        QLineEdit* w = nullptr;
        QVERIFY(showBox(form, box, w));
        QVERIFY(w->isReadOnly());
        const QString text = longText();
        w->setText(text);
        w->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(w->hasFocus());
        w->deselect();
        QTest::keyClick(w, Qt::Key_End);
        QCOMPARE(w->cursorPosition(), int(text.size()));
        QVERIFY(ink_columns(w).last() >= w->width() / 2); // "tail" in view
        QTest::keyClick(w, Qt::Key_Left);
        QTest::keyClick(w, Qt::Key_Left);
        QCOMPARE(w->cursorPosition(), int(text.size()) - 2);
        w->setText(text); // the program writes the same text: the operator's place stays
        QCOMPARE(w->cursorPosition(), int(text.size()) - 2);
        QTest::keyClick(w, Qt::Key_Home);
        QCOMPARE(w->cursorPosition(), 0);
        QTest::keyClick(w, Qt::Key_End);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(w->width() / 4, w->height() / 2));
        QVERIFY2(w->cursorPosition() > 0, "a click left the cursor where it put it");
        const QString other = text + QStringLiteral("!");
        w->setText(other); // a new text from the program shows its start again
        QCOMPARE(w->cursorPosition(), 0);
        verifyStartShown(w, "after a new write");
        QTest::keyClick(w, Qt::Key_End);
        QCOMPARE(w->cursorPosition(), int(other.size()));
        form.Command9->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!w->hasFocus());
        verifyStartShown(w, "after the focus left");
    }

    void typingKeepsTheCursorWhereTheUserPutIt() {
        // Catches the start rule taking the cursor away from the operator's typing in an entry box.
        test::FormFixture f;
        Form1& form = *f.form;
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Command9_Click();
        form.Text27->clear();
        form.Text27->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(form.Text27->hasFocus());
        QTest::keyClicks(form.Text27, QStringLiteral("123"));
        QCOMPARE(form.Text27->text(), QStringLiteral("123"));
        QCOMPARE(form.Text27->cursorPosition(), 3);
        form.Command11_Click();
        form.Text35->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(form.Text35->hasFocus());
        QTest::keyClicks(form.Text35, QStringLiteral("12"));
        QTest::keyClick(form.Text35, Qt::Key_Left);
        QTest::keyClicks(form.Text35, QStringLiteral("5"));
        QCOMPARE(form.Text35->text(), QStringLiteral("152"));
    }

    void fixedColoursHaveFixedPartners_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("default palette") << false;
        QTest::newRow("dark palette") << true;
    }
    void fixedColoursHaveFixedPartners() {
        // Catches a designed control that turns unreadable under a dark palette (table rows white on
        // white, " History Data" grey on grey), or whose look changes under the default palette.
        QFETCH(bool, dark);
        const QPalette stock = QApplication::palette();
        if (dark) QApplication::setPalette(dark_palette());
        auto restore = qScopeGuard([&] { QApplication::setPalette(stock); });
        test::FormFixture f;
        Form1& form = *f.form;
        form.Command9_Click();
        for (int n = 1; n <= 26; ++n) form.text_box(n)->setText(QStringLiteral("  %1  8.88mA").arg(n, 4, 10, QLatin1Char('0')));
        form.Text29->setText(QStringLiteral("8.8mA"));
        form.Text38->setText(QStringLiteral("COM1"));
        form.Text39->setText(QStringLiteral("Com Open"));
        form.Text40->setText(QStringLiteral("connection fail"));
        form.Text41->setText(QStringLiteral("1/1Page   0No"));
        form.Text42->setText(QStringLiteral("100%"));
        form.Text37->setText(QStringLiteral("88"));
        QList<int> boxes;
        for (int n = 1; n <= 26; ++n) boxes << n;
        boxes << 29 << 32 << 37 << 38 << 39 << 40 << 41 << 42;
        for (int n : boxes) {
            QLineEdit* w = form.text_box(n);
            w->show();
            const QImage img = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QRect inner = inside(w).intersected(img.rect());
            const QRgb bg = background(img, inner);
            int most = 0;
            for (int y = inner.top(); y <= inner.bottom(); ++y)
                for (int x = inner.left(); x <= inner.right(); ++x) most = std::max(most, distance(img.pixel(x, y), bg));
            QVERIFY2(most >= 100, qPrintable(QStringLiteral("%1: text differs from its background by %2").arg(w->objectName()).arg(most)));
        }
        if (!dark) {
            // The partners are the default palette's own colours: nothing changes under it.
            QCOMPARE(form.Text1->palette().color(QPalette::Text), stock.color(QPalette::Text));
            QCOMPARE(form.Text1->palette().color(QPalette::Base), QColor(Qt::white));
            QCOMPARE(form.Text29->palette().color(QPalette::Base), stock.color(QPalette::Button));
            QCOMPARE(form.Text32->palette().color(QPalette::Base), stock.color(QPalette::Base));
            QCOMPARE(form.Text37->palette().color(QPalette::Base), stock.color(QPalette::WindowText));
            QCOMPARE(form.Text33->palette().color(QPalette::Text), stock.color(QPalette::Text));
        } else {
            // Controls left to the system colours follow the palette.
            QCOMPARE(form.Text38->palette().color(QPalette::Base), dark_palette().color(QPalette::Base));
            QCOMPARE(form.Text28->palette().color(QPalette::Base), dark_palette().color(QPalette::ToolTipBase));
        }
    }

    void accessibleNames_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("reading") << "Text29" << "Reading";
        QTest::newRow("port") << "Text38" << "Port";
        QTest::newRow("port state") << "Text39" << "Port state";
        QTest::newRow("link state") << "Text40" << "Link state";
        QTest::newRow("page status") << "Text41" << "Page status";
        QTest::newRow("progress") << "Text42" << "Progress and notices";
        QTest::newRow("alarm entry") << "Text35" << "Alarm threshold";
        QTest::newRow("chart") << "Picture1" << "Chart";
        QTest::newRow("lamp") << "Shape1" << "Alarm lamp";
        QTest::newRow("realtime indicator") << "Option1" << "Realtime view";
        QTest::newRow("history indicator") << "Option2" << "History view";
        QTest::newRow("table line") << "Text14" << "Record line 14";
    }
    void accessibleNames() {
        // Catches a control without caption that a screen reader can only call "edit" or "unnamed".
        QFETCH(QString, control);
        QFETCH(QString, name);
        test::FormFixture f;
        QWidget* w = f.form->findChild<QWidget*>(control);
        QVERIFY(w);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), name);
    }

    void lampSaysItsStateInWords() {
        // Catches a lamp whose state only its colour tells (colour-blind operators, screen readers),
        // or whose words lag behind Lock, an alarm and Unlock.
        test::FormFixture f;
        Form1& form = *f.form;
        auto words = [&] {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(form.Shape1);
            const QString d = a->text(QAccessible::Description);
            return d == form.Shape1->toolTip() ? d : QStringLiteral("tooltip '%1' differs from '%2'").arg(form.Shape1->toolTip(), d);
        };
        QCOMPARE(words(), QStringLiteral("not locked"));
        form.Text35->setText(QStringLiteral("10"));
        form.Command6_Click();
        QCOMPARE(words(), QStringLiteral("normal"));
        form.alarm_classify(1000);
        form.lamp_tick();
        QCOMPARE(words(), QStringLiteral("alarm"));
        form.alarm_classify(999);
        form.lamp_tick();
        QCOMPARE(words(), QStringLiteral("normal"));
        form.alarm_classify(1000);
        form.lamp_tick();
        form.Command6_Click(); // Unlock
        QCOMPARE(words(), QStringLiteral("not locked"));
        form.Shape1->show();
        QVERIFY(!form.Shape1->testAttribute(Qt::WA_TransparentForMouseEvents)); // its tooltip can show
    }
};

QTEST_MAIN(TstWindowLooks)
#include "tst_window_looks.moc"
