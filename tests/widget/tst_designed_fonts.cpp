// The designed fonts against the desktop's: an application font and per-kind theme fonts set before
// the windows are built change no control's font, and every caption still fits its control.
#include "app/form1.h"
#include "output/form3.h"
#include "support/form_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tessaro;

namespace {

// The fonts of a window's controls by object name.
QMap<QString, QFont> fonts_of(const QWidget* window) {
    QMap<QString, QFont> fonts;
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"))) fonts[w->objectName()] = w->font();
    return fonts;
}

// Controls whose caption is wider than the room the control gives it.
QStringList cut_captions(const QWidget* window) {
    QStringList cut;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        int room = w->width();
        if (const auto* b = qobject_cast<const QPushButton*>(w)) text = b->text(), room -= 4;
        else if (const auto* r = qobject_cast<const QRadioButton*>(w)) text = r->text(), room -= 18;
        else if (const auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
        else if (const auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title(), room -= 8;
        if (text.isEmpty() || !w->isVisible()) continue;
        const int need = w->fontMetrics().horizontalAdvance(text);
        if (need > room) cut << QStringLiteral("%1 \"%2\" needs %3 of %4").arg(w->objectName(), text).arg(need).arg(room);
    }
    return cut;
}

// What a desktop theme sets: a large bold italic application font and other fonts by kind.
void force_desktop_fonts() {
    QFont big(QStringLiteral("DejaVu Serif"));
    big.setPointSizeF(15);
    big.setBold(true);
    big.setItalic(true);
    big.setLetterSpacing(QFont::PercentageSpacing, 130);
    QApplication::setFont(big);
    QFont wide(QStringLiteral("DejaVu Sans"));
    wide.setPointSizeF(13);
    wide.setStretch(QFont::Expanded);
    for (const char* kind : {"QPushButton", "QLabel", "QLineEdit", "QGroupBox", "QRadioButton", "QComboBox"})
        QApplication::setFont(wide, kind);
}

} // namespace

class TstDesignedFonts : public QObject {
    Q_OBJECT
    QFont stock_;

private slots:
    void initTestCase() { stock_ = QApplication::font(); }
    void cleanup() {
        QApplication::setFont(stock_);
        for (const char* kind : {"QPushButton", "QLabel", "QLineEdit", "QGroupBox", "QRadioButton", "QComboBox"})
            QApplication::setFont(stock_, kind);
    }

    void mainWindowKeepsItsFonts() {
        // Catches captions cut ("Descenc", "Go t", "Connect Succ") or a header sliding under the
        // separator because a desktop font replaced the designed ones.
        QMap<QString, QFont> designed;
        {
            test::FormFixture f;
            designed = fonts_of(f.form->client);
            QVERIFY(cut_captions(f.form->client).isEmpty());
        }
        force_desktop_fonts();
        test::FormFixture f;
        const QMap<QString, QFont> forced = fonts_of(f.form->client);
        QCOMPARE(forced.keys(), designed.keys());
        for (auto it = designed.cbegin(); it != designed.cend(); ++it)
            QVERIFY2(forced[it.key()] == it.value(),
                     qPrintable(it.key() + ": " + forced[it.key()].toString() + " instead of " + it.value().toString()));
        QCOMPARE(f.form->Command13->font().pointSizeF(), 9.0);
        QCOMPARE(f.form->Text32->font().pointSizeF(), 21.75);
        QVERIFY(!f.form->Label7->font().italic());
        const QStringList cut = cut_captions(f.form->client);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
        // The history view's header and table lines as well.
        f.form->Command9_Click();
        QCOMPARE(f.form->Text31->font(), designed.value(QStringLiteral("Text31")));
    }

    void printOptionsKeepTheirFonts() {
        // Catches the print options window's captions cut by a desktop font.
        QMap<QString, QFont> designed;
        {
            Form3 window(250);
            window.show();
            designed = fonts_of(&window);
        }
        force_desktop_fonts();
        Form3 window(250);
        window.show();
        const QMap<QString, QFont> forced = fonts_of(&window);
        for (auto it = designed.cbegin(); it != designed.cend(); ++it)
            QVERIFY2(forced[it.key()] == it.value(), qPrintable(it.key() + ": " + forced[it.key()].toString()));
        const QStringList cut = cut_captions(&window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TstDesignedFonts)
#include "tst_designed_fonts.moc"
