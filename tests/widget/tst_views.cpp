// The realtime and history views: their layouts over any sequence of switches, the start-up end state
// and the statistics labels the realtime view redraws.
#include "app/form1.h"
#include "app/shape_widget.h"
#include "chart/chart_widget.h"
#include "support/form_fixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace tessaro;

Q_DECLARE_METATYPE(tessaro::Shown)
using tessaro::test::FormFixture;

namespace {

enum class View { Realtime, History };

// What a control shows in each view: visible, and enabled where the layout decides it.
struct Expect {
    const char* name;
    bool shown_realtime;
    bool shown_history;
    int enabled_realtime = -1; // -1: not decided by the layout
    int enabled_history = -1;
};

const Expect kLayout[] = {
    {"Text1", false, true},      {"Text13", false, true},      {"Text26", false, true},
    {"Text28", false, true},     {"Text31", false, true},      {"Text32", false, true},
    {"Frame5", false, true},     {"Text41", true, true},       {"Text42", false, true},
    {"Label7", false, true},     {"Text27", false, true},      {"Label8", false, true},
    {"Command8", false, true},   {"Command3", false, true},    {"Command4", false, true},
    {"Command12", false, true},  {"Command13", false, true},   {"Command7", false, true, -1, 1},
    {"Text33", false, false},    {"Text34", false, false},     {"Text37", false, false},
    {"Picture1", true, false},   {"Picture2", true, false},    {"Frame7", true, false},
    {"Frame6", true, false},     {"Shape1", true, false},      {"Shape2", true, false},
    {"Text36", true, false},     {"Text35", true, false},      {"Option3", true, false},
    {"Option4", true, false},    {"Command6", true, false},    {"Text29", true, false},
    {"Command5", true, true, 1, 1}, {"Command1", true, true, 1, 1}, {"Command2", true, true, 0, 1},
    {"Command15", true, true, 0, 1}, {"Command16", true, true, 0, 1},
    {"Option1", true, true, 1, 0}, {"Option2", true, true, 0, 1},
};

void run(Form1& form, View v) {
    if (v == View::Realtime)
        form.Command11_Click();
    else
        form.Command9_Click();
}

} // namespace

class TstViews : public QObject {
    Q_OBJECT

    std::unique_ptr<FormFixture> f;

    void checkView(View v) {
        Form1& form = *f->form;
        for (const Expect& e : kLayout) {
            QWidget* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
            QVERIFY2(w, e.name);
            const bool shown = v == View::Realtime ? e.shown_realtime : e.shown_history;
            QVERIFY2(w->isHidden() != shown, e.name);
            const int enabled = v == View::Realtime ? e.enabled_realtime : e.enabled_history;
            if (enabled >= 0) QVERIFY2(w->isEnabled() == bool(enabled), e.name);
        }
        const bool rt = v == View::Realtime;
        QCOMPARE(form.Option1->isChecked(), rt);
        QCOMPARE(form.Option2->isChecked(), !rt);
        QCOMPARE(form.Command5->text(), rt ? QStringLiteral("Pause") : QStringLiteral("Read"));
        QCOMPARE(form.Timer2->isActive(), rt);
        QCOMPARE(form.acq_on, uint8_t(rt ? 1 : 0));
        QCOMPARE(form.Text29->text(), QString());
        QCOMPARE(form.curve_mode, uint8_t(0));
    }

private slots:
    void init() { f = std::make_unique<FormFixture>(); }
    void cleanup() { f.reset(); }

    void startupEndState() {
        // Catches a start-up that leaves the window outside the realtime view or with stale labels.
        Form1& form = *f->form;
        checkView(View::Realtime);
        QCOMPARE(form.Text41->text(), QString());
        QCOMPARE(form.Timer2->interval(), 500);
        QCOMPARE(form.Label1->text(), QStringLiteral("Max: 0mA"));
        QCOMPARE(form.Label2->text(), QStringLiteral("Min: 0mA"));
        QCOMPARE(form.Label5->text(), QStringLiteral("Average: 0mA"));
        QCOMPARE(form.live_stats.stat_max(), 0.0);
        QVERIFY(!form.live_stats.stat_min());
        QVERIFY(!form.live_stats.average());
        QCOMPARE(form.live_samples[0], 4200000.0);
        QCOMPARE(form.live_samples[410], 4200000.0);
        QCOMPARE(form.live_samples[411], 0.0);
    }

    void switchingSequences_data() {
        QTest::addColumn<QList<int>>("sequence");
        QTest::newRow("H") << QList<int>{1};
        QTest::newRow("H R") << QList<int>{1, 0};
        QTest::newRow("R R") << QList<int>{0, 0};
        QTest::newRow("H H R H") << QList<int>{1, 1, 0, 1};
        QTest::newRow("R H R R H H R") << QList<int>{0, 1, 0, 0, 1, 1, 0};
    }
    void switchingSequences() {
        // Catches a layout that depends on the view it came from.
        QFETCH(QList<int>, sequence);
        for (int v : sequence) {
            run(*f->form, View(v));
            checkView(View(v));
        }
    }

    void realtimeLabelsFromShownValues_data() {
        QTest::addColumn<Shown>("max");
        QTest::addColumn<Shown>("min");
        QTest::addColumn<Shown>("avg");
        QTest::addColumn<QString>("label1");
        QTest::addColumn<QString>("label2");
        QTest::addColumn<QString>("label5");
        QTest::newRow("amperes") << Shown{123456.0} << Shown{4567.8} << Shown{QStringLiteral("1234.5")}
                                 << "Max: 1.23A" << "Min: 45.678mA" << "Average:1.23A";
        QTest::newRow("OL markers") << Shown{4000000.0} << Shown{4000000.0} << Shown{4000000.0} << "Max:  OL"
                                    << "Min:  OL" << "Average:  OL";
        QTest::newRow("milliamperes") << Shown{1230.0} << Shown{5.0} << Shown{QStringLiteral("12.5")}
                                      << "Max: 12.3mA" << "Min: .05mA" << "Average:12.5mA";
        QTest::newRow("never set") << Shown{} << Shown{} << Shown{} << "Max: 0mA" << "Min: 0mA"
                                   << "Average: 0mA";
    }
    void realtimeLabelsFromShownValues() {
        // Catches realtime-view labels that mis-scale, mis-space or drop the OL texts.
        QFETCH(Shown, max);
        QFETCH(Shown, min);
        QFETCH(Shown, avg);
        Form1& form = *f->form;
        form.max_shown = max;
        form.min_shown = min;
        form.avg_shown = avg;
        form.Command9_Click();
        form.Command11_Click();
        QTEST(form.Label1->text(), "label1");
        QTEST(form.Label2->text(), "label2");
        QTEST(form.Label5->text(), "label5");
    }

    void extremesRestartOnlyWithoutAnAverage_data() {
        QTest::addColumn<Shown>("avg");
        QTest::addColumn<bool>("restart");
        QTest::newRow("never set") << Shown{} << true;
        QTest::newRow("zero text") << Shown{QStringLiteral("0")} << true;
        QTest::newRow("an average") << Shown{QStringLiteral("12.3")} << false;
    }
    void extremesRestartOnlyWithoutAnAverage() {
        // Catches a realtime view that forgets or always restarts the running maximum and minimum.
        QFETCH(Shown, avg);
        QFETCH(bool, restart);
        Form1& form = *f->form;
        form.live_skip = 9;
        form.rx_bytes = QByteArray::fromHex("007B41");
        form.live_frame();
        QCOMPARE(form.live_stats.stat_max(), 1230.0);
        form.avg_shown = avg;
        form.Command11_Click();
        QCOMPARE(form.live_stats.stat_max(), restart ? 0.0 : 1230.0);
        QCOMPARE(form.live_stats.stat_min().has_value(), !restart);
        QVERIFY(form.live_stats.average().has_value()); // the average is never restarted
    }

    void samplesSurviveViewChanges() {
        // Catches a view command that clears the live curve.
        Form1& form = *f->form;
        form.live_skip = 9;
        form.rx_bytes = QByteArray::fromHex("007B41");
        form.live_frame();
        form.Command9_Click();
        form.Command11_Click();
        QCOMPARE(form.live_samples[400], 1230.0);
    }
};

QTEST_MAIN(TstViews)
#include "tst_views.moc"
