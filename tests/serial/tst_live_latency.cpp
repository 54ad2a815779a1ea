// Live monitoring against a slow meter with the real timers: the state line, the readings shown,
// an outage, and no live request after polling stops.
#include "link/meter_protocol.h"
#include "link_fixture.h"
#include "support/generous_wait.h"

#include <QPushButton>

using tessaro::MeterRequest;
using tessaro::MeterSimOptions;
using tessaro::RequestKind;
using tessaro::test::kWaitMs;
using tessaro::test::LinkFixture;
using namespace std::chrono_literals;

namespace {

const QString kSuccess = QStringLiteral("Connect Success");

MeterSimOptions slowMeter(int latency_ms) {
    MeterSimOptions o;
    o.latencyMin = o.latencyMax = std::chrono::milliseconds(latency_ms);
    o.liveCount = 1234;
    o.liveRange = 0x41;
    return o;
}

} // namespace

class TstLiveLatency : public QObject {
    Q_OBJECT

private slots:
    void stateLineAndReadings_data() {
        QTest::addColumn<int>("latency");
        QTest::addColumn<int>("silentAfter"); // requests answered before a 5 s outage; 0: none
        QTest::addColumn<int>("badChecks");   // first port checks answered wrong
        QTest::newRow("0 ms") << 0 << 0 << 0;
        QTest::newRow("300 ms") << 300 << 0 << 0;
        QTest::newRow("900 ms") << 900 << 0 << 0;
        QTest::newRow("0 ms, 5 s outage") << 0 << 12 << 0;
        QTest::newRow("300 ms, 5 s outage") << 300 << 10 << 0;
        QTest::newRow("900 ms, 5 s outage") << 900 << 8 << 0;
        QTest::newRow("900 ms, first check answered wrong") << 900 << 0 << 1;
    }
    void stateLineAndReadings() {
        // Catches "Connection Fail" kept on the state line while live readings arrive (a slow meter,
        // after an outage), the port check never getting its turn between live polls, a slow meter's
        // answer to the check never awaited after "Connect Fail" (the port closed under it), and a
        // reply later than the poll thrown away instead of shown.
        QFETCH(int, latency);
        QFETCH(int, silentAfter);
        QFETCH(int, badChecks);
        LinkFixture t;
        MeterSimOptions o = slowMeter(latency);
        o.badChecks = badChecks;
        if (silentAfter > 0) {
            o.silentAfter = silentAfter;
            o.silentFor = 5s;
        }
        QVERIFY(t.startSim(o));
        // Live answers of the meter since its first answer after the outage, and their number when
        // the state line turned back to "Connect Success".
        bool outage = false;
        bool back = false;
        int lives_answered = 0;
        int lives_back = 0;
        int lives_back_at_success = -1;
        connect(t.sim.get(), &tessaro::MeterSim::requestHandled, this, [&](const MeterRequest& r) {
            if (!r.answered) {
                outage = true;
                return;
            }
            back = outage;
            if (r.kind != RequestKind::Live) return;
            ++lives_answered;
            if (back) ++lives_back;
        });
        bool failed_in_outage = false;
        connect(t.form().Text40, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (!outage) return;
            if (text == QLatin1String("Connection Fail") && !back) failed_in_outage = true;
            if (text == kSuccess && back && lives_back_at_success < 0) lives_back_at_success = lives_back;
        });
        t.f.thawTimers(); // start-up left the realtime view on: the live poll runs

        if (silentAfter > 0) {
            QTRY_VERIFY_WITH_TIMEOUT(lives_back_at_success >= 0, kWaitMs);
            QVERIFY(failed_in_outage);
            // The check goes out right after the first answer of the returning meter (or with the
            // next link tick), so at most one more live answer comes before the state line is right.
            QVERIFY2(lives_back_at_success <= 2, qPrintable(QStringLiteral("%1 live answers").arg(lives_back_at_success)));
        }
        // Every live answer of the meter is shown from here on (the first two after a restart only
        // count): none is dropped because the next poll was due when it came.
        QTRY_COMPARE_WITH_TIMEOUT(t.form().live_skip, uint8_t{9}, kWaitMs);
        const int64_t shown_before = t.form().live_stats.average_count();
        const int answered_before = lives_answered;
        QTRY_VERIFY_WITH_TIMEOUT(lives_answered >= answered_before + 6, kWaitMs);
        const int answered = lives_answered - answered_before;
        QTRY_VERIFY_WITH_TIMEOUT(t.form().live_stats.average_count() - shown_before >= answered, kWaitMs);
        QCOMPARE(t.form().Text29->text(), QString("123.4mA"));
        QTRY_COMPARE_WITH_TIMEOUT(t.form().Text40->text(), kSuccess, kWaitMs);
        QCOMPARE(t.form().live_stats.stat_max(), 12340.0);
        QCOMPARE(t.form().live_stats.stat_min().value_or(-1), 12340.0);
    }

    void noLiveRequestAfterPollingStops_data() {
        QTest::addColumn<int>("how"); // 0 button Pause, 1 menu Pause, 2 History
        QTest::newRow("button Pause") << 0;
        QTest::newRow("menu Pause") << 1;
        QTest::newRow("History") << 2;
    }
    void noLiveRequestAfterPollingStops() {
        // Catches the live request held back behind a slow meter's reply going out after Pause or
        // History.
        QFETCH(int, how);
        LinkFixture t;
        QVERIFY(t.startSim(slowMeter(900)));
        t.f.thawTimers();
        // A live request on the wire and the next one held behind it.
        QTRY_VERIFY_WITH_TIMEOUT(t.form().exchange.pending == tessaro::kLiveAddress, kWaitMs);
        if (how == 0)
            t.form().Command5->click();
        else if (how == 1)
            t.form().menu_pause();
        else
            t.form().Command9_Click();
        QCOMPARE(t.form().acq_on, uint8_t{0});
        const int lives = t.sim->served(RequestKind::Live);
        const int checks = t.sim->served(RequestKind::PortCheck);
        // The link goes back to its port checks once the reply on the wire is in: a held live
        // request would have gone out before them.
        QTRY_VERIFY_WITH_TIMEOUT(t.sim->served(RequestKind::PortCheck) >= checks + 2, kWaitMs);
        QCOMPARE(t.sim->served(RequestKind::Live), lives);
        QVERIFY(!t.form().exchange.pending);
    }
};

QTEST_MAIN(TstLiveLatency)
#include "tst_live_latency.moc"
