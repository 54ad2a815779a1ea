// Live monitoring against a faulty meter with real timers: the device vanishes and returns, wrong port
// checks, garbage, split and merged replies; readings resume and no wrong reading enters the statistics.
#include "link_fixture.h"

#include <QPushButton>

using tessaro::MeterSimOptions;
using tessaro::test::LinkFixture;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tessaro::MeterSimOptions)

namespace {
constexpr int kLiveCount = 1234;            // 123.4 mA in range 0x41
constexpr int64_t kScaled = kLiveCount * 10; // in 0.01 mA
} // namespace

class TstFaultsLive : public QObject {
    Q_OBJECT

private slots:
    void faultyMeter_data();
    void faultyMeter();
};

void TstFaultsLive::faultyMeter_data() {
    QTest::addColumn<MeterSimOptions>("options");
    QTest::addColumn<bool>("vanish");

    MeterSimOptions base;
    base.liveCount = kLiveCount;
    base.liveRange = 0x41;
    base.latencyMin = 1ms;
    base.latencyMax = 15ms;

    QTest::newRow("device vanishes and comes back") << base << true;
    MeterSimOptions o = base;
    o.badChecks = 8;
    QTest::newRow("port check answered wrong, then right") << o << false;
    o = base;
    o.garbageRate = 0.3;
    o.pacing = false; // garbage in the reply's own chunk; paced stray bytes: see tst_faults_download
    QTest::newRow("garbage bytes after replies") << o << false;
    o = base;
    o.split = true;
    o.splitGap = 3ms;
    QTest::newRow("every reply byte on its own") << o << false;
    o = base;
    o.mergeEvery = 7;
    QTest::newRow("two replies merged into one chunk") << o << false;
}

// Catches a crash or a dead link after the fault, readings that never resume, a state line left at
// "Connection Fail" while they arrive, and bytes of another reply (a port check, garbage, half a
// frame) shown or counted as a reading.
void TstFaultsLive::faultyMeter() {
    QFETCH(MeterSimOptions, options);
    QFETCH(bool, vanish);

    LinkFixture t;
    QVERIFY(t.startSim(options));
    t.f.thawTimers(); // start-up left the realtime view on: the live poll runs
    QTRY_VERIFY_WITH_TIMEOUT(t.form().live_stats.average_count() >= 4, tessaro::test::kWaitMs);

    if (vanish) {
        t.sim->disappear();
        QTRY_COMPARE_WITH_TIMEOUT(t.form().Text39->text(), QString("COM Close"), tessaro::test::kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(t.form().Text40->text(), QString("Connection Fail"), tessaro::test::kWaitMs);
        QVERIFY(t.sim->reappear());
        QTRY_COMPARE_WITH_TIMEOUT(t.form().Text39->text(), QString("COM Open"), tessaro::test::kWaitMs);
    }
    const int64_t before = t.form().live_stats.average_count();
    QTRY_VERIFY_WITH_TIMEOUT(t.form().live_stats.average_count() >= before + 6, tessaro::test::kWaitMs);
    QCOMPARE(t.form().Text29->text(), QString("123.4mA"));
    QCOMPARE(t.form().live_stats.stat_max(), double(kScaled));
    QCOMPARE(t.form().live_stats.stat_min().value_or(-1), double(kScaled));
    QCOMPARE(t.form().live_stats.average().value_or(-1), kScaled);
    QCOMPARE(t.form().live_samples[400], double(kScaled));
    QVERIFY(t.form().Command5->isEnabled());
    // The state line follows the meter back while the view stays live.
    QTRY_COMPARE_WITH_TIMEOUT(t.form().Text40->text(), QString("Connect Success"), tessaro::test::kWaitMs);
}

QTEST_MAIN(TstFaultsLive)
#include "tst_faults_live.moc"
