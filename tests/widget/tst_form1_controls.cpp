// The main window as designed: every control, the menu, the hidden caret, the web link and Exit.
#include "app/form1.h"
#include "app/shape_widget.h"
#include "chart/chart_widget.h"
#include "link/mscomm.h"
#include "support/form_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

using namespace tessaro;

namespace {

QRect px(int l, int t, int w, int h) {
    auto n = [](int v) { return static_cast<int>(std::nearbyint(v / 15.0)); };
    return QRect(n(l), n(t), n(w), n(h));
}

} // namespace

class TstForm1Controls : public QObject {
    Q_OBJECT

private slots:
    void designedControl_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        auto row = [](const char* name, const char* kind, const char* parent, int l, int t, int w, int h,
                      const QString& caption) {
            QTest::newRow(name) << name << kind << parent << px(l, t, w, h) << caption;
        };
        row("Text29", "tessaro::ReadingBox", "client", 1200, 120, 10095, 2655, "400.0mA");
        row("Frame2", "QGroupBox", "client", 12360, 120, 2055, 975, "com setting");
        row("Text30", "QLineEdit", "Frame2", 600, 480, 495, 255, "com:");
        row("Label3", "QLabel", "client", 12840, 795, 855, 255, QString::fromUtf8("选择端口:"));
        row("Combo1", "QComboBox", "client", 13440, 528, 855, 300, "1");
        row("Frame1", "QGroupBox", "client", 12360, 1200, 2055, 1575, "mode");
        row("Option1", "QRadioButton", "Frame1", 120, 360, 255, 255, "");
        row("Option2", "QRadioButton", "Frame1", 120, 960, 255, 255, "");
        row("Command11", "QPushButton", "client", 12960, 1440, 1095, 495, "Realtime");
        row("Command9", "QPushButton", "client", 12960, 2040, 1095, 495, "History");
        row("Frame3", "QGroupBox", "client", 12360, 2880, 2175, 3375, "operation");
        row("Command5", "QPushButton", "client", 12960, 3120, 1215, 495, "Read");
        row("Command1", "QPushButton", "client", 12960, 3720, 1215, 495, "Save");
        row("Command2", "QPushButton", "client", 12960, 4320, 1215, 495, "Empty");
        row("Command15", "QPushButton", "Frame3", 600, 2040, 1215, 495, "cyrve");
        row("Command16", "QPushButton", "Frame3", 600, 2640, 1215, 495, "Print");
        row("Frame4", "QGroupBox", "client", 12360, 6360, 2175, 1695, "State");
        row("Text38", "QLineEdit", "client", 12600, 6600, 1695, 270, "COM1");
        row("Text39", "QLineEdit", "client", 12600, 6840, 1695, 270, "Com Close");
        row("Text40", "QLineEdit", "client", 12600, 7080, 1695, 270, "connection fail");
        row("Text41", "QLineEdit", "client", 12600, 7320, 1695, 270, "");
        row("Text42", "QLineEdit", "client", 12600, 7560, 1695, 270, "");
        row("Text32", "QLineEdit", "client", 4560, 600, 3135, 615, "");
        row("Frame5", "QGroupBox", "client", 960, 1080, 10455, 6975, "");
        row("Text31", "QLineEdit", "client", 1200, 1320, 9975, 375, "");
        for (int n = 1; n <= 13; ++n) {
            const QByteArray name = "Text" + QByteArray::number(n);
            row(name.constData(), "QLineEdit", "client", 1200, 1800 + 480 * (n - 1), 4695, n == 13 ? 390 : 375, "");
        }
        for (int n = 14; n <= 26; ++n) {
            const QByteArray name = "Text" + QByteArray::number(n);
            row(name.constData(), "QLineEdit", "client", 6480, 1800 + 480 * (n - 14), 4695, 375, "");
        }
        row("Text28", "QLineEdit", "client", 5762, 1320, 740, 6615, "");
        row("Picture2", "QFrame", "client", 720, 2880, 11175, 5655, "");
        row("Picture1", "tessaro::ChartWidget", "client", 840, 3000, 10935, 5415, "");
        row("Text37", "QLineEdit", "Picture1", 8880, 0, 1815, 270, "");
        row("Text33", "QLineEdit", "client", 1080, 8280, 540, 270, "");
        row("Text34", "QLineEdit", "client", 1560, 8280, 1095, 255, "");
        row("Frame7", "QGroupBox", "client", 840, 8520, 2775, 1335, "");
        row("Label1", "QLabel", "Frame7", 120, 360, 2175, 255, "");
        row("Label2", "QLabel", "Frame7", 120, 600, 2175, 255, "");
        row("Label5", "QLabel", "Frame7", 120, 840, 2535, 255, "");
        row("Command12", "QPushButton", "client", 480, 8880, 975, 495, "Ascend");
        row("Command13", "QPushButton", "client", 1800, 8880, 975, 495, "Descend");
        row("Command7", "QPushButton", "client", 3240, 8880, 975, 495, "Restore");
        row("Frame6", "QGroupBox", "client", 4920, 8520, 6495, 1335, "");
        row("Shape2", "tessaro::ShapeWidget", "Frame6", 240, 240, 1335, 975, "");
        row("Shape1", "tessaro::ShapeWidget", "Frame6", 240, 360, 1335, 735, "");
        row("Command3", "QPushButton", "client", 5760, 8880, 1215, 495, "Up");
        row("Command4", "QPushButton", "client", 7200, 8880, 1215, 495, "Down");
        row("Text36", "QLineEdit", "client", 6600, 9000, 735, 375, "Alarm:");
        row("Text35", "QLineEdit", "client", 7440, 8760, 1575, 735, "");
        row("Option4", "QRadioButton", "client", 9480, 8640, 615, 375, "mA");
        row("Option3", "QRadioButton", "client", 9480, 9120, 495, 375, "A");
        row("Command6", "QPushButton", "client", 10320, 8760, 975, 615, "Lock");
        row("Label7", "QLabel", "client", 8520, 9120, 495, 255, "Go to");
        row("Text27", "QLineEdit", "client", 9000, 9000, 855, 375, "1");
        row("Label8", "QLabel", "client", 9960, 9120, 495, 255, "Page");
        row("Command8", "QPushButton", "client", 10680, 8880, 1215, 495, "Ensure");
        row("Label4", "QLabel", "client", 0, 10080, 15180, 315, "");
    }
    void designedControl() {
        // Catches a control missing, of the wrong kind, misplaced, in the wrong container or miscaptioned.
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        Form1 form;
        QWidget* w = form.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
        QCOMPARE(w->parentWidget()->objectName(), parent);
        QCOMPARE(w->geometry(), geometry);
        QVERIFY(!w->isHidden());
        QVERIFY(w->isEnabled());
        QString text;
        if (auto* t = qobject_cast<QLineEdit*>(w)) text = t->text();
        else if (auto* b = qobject_cast<QPushButton*>(w)) text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
        else if (auto* o = qobject_cast<QRadioButton*>(w)) text = o->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
        else if (auto* c = qobject_cast<QComboBox*>(w)) text = c->currentText();
        QCOMPARE(text, caption);
    }

    void designedLooksAndTimers() {
        // Catches fonts, colours, read-only states, tab stops, lists and timers that differ from the design.
        Form1 form;
        QCOMPARE(form.client->size(), QSize(1016, 692));
        QCOMPARE(form.windowTitle(), QStringLiteral("TessaroV1.0"));
        QCOMPARE(form.Text29->font().pointSizeF(), 72.0);
        QVERIFY(form.Text29->font().bold());
        QCOMPARE(form.Text29->palette().color(QPalette::Text), QColor(0, 128, 0));
        QCOMPARE(form.Text32->font().pointSizeF(), 21.75);
        QCOMPARE(form.Text35->font().pointSizeF(), 26.25);
        QCOMPARE(form.Text36->font().pointSizeF(), 12.0);
        QCOMPARE(form.Text35->maxLength(), 5);
        QCOMPARE(form.Text33->palette().color(QPalette::Base), QColor(0, 0, 255));
        QCOMPARE(form.Text37->palette().color(QPalette::Text), QColor(0, 255, 0));
        QCOMPARE(form.Shape1->fillColour(), QColor(0, 192, 0));
        QCOMPARE(form.Shape1->kind(), ShapeWidget::Kind::Circle);
        for (int n : {1, 13, 26, 28, 29, 31, 32, 37, 38, 42}) QVERIFY2(form.text_box(n)->isReadOnly(), qPrintable(QString::number(n)));
        for (int n : {27, 34, 35, 36}) QVERIFY(!form.text_box(n)->isReadOnly());
        for (int n : {30, 32, 34, 36}) QCOMPARE(form.text_box(n)->focusPolicy(), Qt::ClickFocus);
        QCOMPARE(form.Text27->focusPolicy(), Qt::StrongFocus);
        QVERIFY(form.Option4->isChecked());
        QVERIFY(!form.Option3->isChecked() && !form.Option1->isChecked() && !form.Option2->isChecked());
        QCOMPARE(form.Combo1->count(), 16);
        QCOMPARE(form.Combo1->itemText(0), QStringLiteral("1 "));
        QCOMPARE(form.Combo1->itemText(15), QStringLiteral("16"));
        QVERIFY(form.Combo1->isEditable());
        QCOMPARE(form.Combo1->insertPolicy(), QComboBox::NoInsert);
        QCOMPARE(form.Combo1->toolTip(), QString::fromUtf8("选择COM"));
        QCOMPARE(form.Command3->toolTip(), QString::fromUtf8("阅读上一页"));
        QCOMPARE(form.Command4->toolTip(), QString::fromUtf8("阅读下一页"));
        QCOMPARE(form.Timer1->interval(), 30);
        QCOMPARE(form.Timer2->interval(), 50);
        QVERIFY(!form.Timer2->isActive());
        QCOMPARE(form.Timer3->interval(), 300);
        QVERIFY(!form.MSComm1->PortOpen());
    }

    void menuItems_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("items");
        // The designed items, with the additions (Ports, the records file, the recording's trend, the
        // live log, publishing) before Exit and after Start.
        QTest::newRow("wj") << "File(F)"
                            << QStringList{"History", "Realtime", "Read", "Save", "Ports\u2026", "Export CSV\u2026",
                                           "Open CSV\u2026", "Open recording\u2026", "Exit"};
        QTest::newRow("ssjk") << "Realtime(S)" << QStringList{"Pause", "Start", "Record to file\u2026", "Stop recording",
                                                                 "Publish to MQTT\u2026", "Stop publishing"};
        QTest::newRow("lscx") << "History(L)" << QStringList{"Read", "Save", "Empty", "Up", "Down", "Restore"};
        QTest::newRow("daying_1") << "Print(D)" << QStringList{"Print"};
    }
    void menuItems() {
        // Catches a menu or item missing, renamed or given an access key or shortcut.
        QFETCH(QString, menu);
        QFETCH(QStringList, items);
        Form1 form;
        QMenu* m = form.findChild<QMenu*>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(m);
        QCOMPARE(m->title(), menu);
        QStringList got;
        for (QAction* a : m->actions()) {
            got << a->text();
            QVERIFY(a->shortcut().isEmpty());
        }
        QCOMPARE(got, items);
    }

    void startUpEndsInTheRealtimeView() {
        // Catches a start-up whose steps leave the window in the wrong view or state.
        test::FormFixture f;
        Form1& form = *f.form;
        QCOMPARE(form.chart_scale, 3000.0);
        QCOMPARE(form.curve_mode, uint8_t(0));
        QCOMPARE(form.link_state, int16_t(2));
        QCOMPARE(form.ji_ge, int16_t(1));
        QCOMPARE(form.page_count, int16_t(1));
        QCOMPARE(form.live_samples[0], 4200000.0);
        QCOMPARE(form.live_samples[410], 4200000.0);
        QCOMPARE(form.live_samples[411], 0.0);
        QVERIFY(!form.Text41->isHidden());
        QCOMPARE(form.Text41->text(), QString());
        QVERIFY(!form.Text29->isHidden());
        QCOMPARE(form.Text29->text(), QString());
        QCOMPARE(form.Text29->font().pointSizeF(), 140.0);
        QCOMPARE(form.Command5->text(), QStringLiteral("Pause"));
        QVERIFY(form.Option1->isChecked() && form.Option1->isEnabled());
        QVERIFY(!form.Option2->isChecked() && !form.Option2->isEnabled());
        QVERIFY(form.Timer2->isActive());
        QCOMPARE(form.Timer2->interval(), 500);
        QCOMPARE(form.Text31->text(), QStringLiteral("  No     Current    Data     Time                           "
                                                     "No    Current    Data     Time"));
        QCOMPARE(form.Text31->text().size(), 90);
        QCOMPARE(form.Text32->text(), QStringLiteral(" History Data"));
        QCOMPARE(form.Label4->width(), 1015); // 15230 twips
        QCOMPARE(form.y(), 0);
        QCOMPARE(form.text_box(1)->palette().color(QPalette::Base), QColor(Qt::white));
    }

    void caretHiddenOnFocus_data() {
        QTest::addColumn<int>("box");
        QTest::addColumn<bool>("hidden");
        for (int n : {1, 13, 26, 29, 31, 38, 42}) QTest::newRow(qPrintable(QString("Text%1").arg(n))) << n << true;
        for (int n : {27, 35}) QTest::newRow(qPrintable(QString("Text%1").arg(n))) << n << false;
    }
    void caretHiddenOnFocus() {
        // Catches a table line that shows a caret, or an entry box that lost its caret.
        QFETCH(int, box);
        QFETCH(bool, hidden);
        test::FormFixture f;
        Form1& form = *f.form;
        form.history_layout();
        QLineEdit* w = form.text_box(box);
        w->show();
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(w, &in);
        const int width = w->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, w);
        QCOMPARE(width == 0, hidden);
    }

    void webLinkGoesThroughTheOperatorSeam() {
        // Catches a link strip that starts a process, opens nothing, or opens a browser on an empty
        // address when the build has none.
        test::FormFixture f;
        QTest::mouseClick(f.form->Label4, Qt::LeftButton);
        const QStringList expected = *kWebAddress ? QStringList{QString::fromLatin1(kWebAddress)} : QStringList{};
        QCOMPARE(f.user.urls, expected);
    }

    void exitEndsAtOnce() {
        // Catches an Exit that asks, saves or leaves the port open.
        test::FormFixture f;
        f.form->l->trigger();
        QVERIFY(f.form->quitting);
        QVERIFY(!f.form->Timer1->isActive() && !f.form->Timer2->isActive() && !f.form->Timer3->isActive());
        QVERIFY(!f.form->MSComm1->PortOpen());
        QVERIFY(f.user.messages.isEmpty());
    }
};

QTEST_MAIN(TstForm1Controls)
#include "tst_form1_controls.moc"
