// The link as a bench meets it: a meter plugged in late, a slow meter, a meter switched off, sorts and
// Empty around an interrupted download, and the history view chosen while a live reply is on its way.
#include "link_fixture.h"
#include "support/generous_wait.h"

#include <QPushButton>
#include <QSignalSpy>

using tessaro::Form1;
using tessaro::MeterRequest;
using tessaro::MeterSim;
using tessaro::MeterSimOptions;
using tessaro::RequestKind;
using tessaro::test::LinkFixture;
using tessaro::test::PtyPair;
using tessaro::test::slotHolds;
namespace paths = tessaro::paths;
using namespace std::chrono_literals;

namespace {

MeterSimOptions meterHolding(int held) {
    MeterSimOptions o;
    o.records = tessaro::generateRecords(held, 11);
    return o;
}

const QString kSuccess = QStringLiteral("Connect Success");

} // namespace

class TstRealLink : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkFixture> t;
    Form1& form() { return t->form(); }

    void checkStore(int stored) {
        QCOMPARE(form().last_occupied(), stored - 1);
        for (int s = 0; s < stored; ++s)
            QVERIFY2(slotHolds(form(), s, t->sim->records().at(s)), qPrintable(QString("slot %1").arg(s)));
    }
    QList<QPushButton*> downloadButtons() {
        return {form().Command5, form().Command7, form().Command12, form().Command13, form().Command15,
                form().Command16};
    }
    // Reads until the meter falls silent and the watchdog gives the download up.
    void interruptDownload() {
        form().read_click();
        QCOMPARE(form().link_state, int16_t{1});
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }, tessaro::test::kWaitMs));
        QVERIFY(form().dl_unfinished);
        QVERIFY(form().last_occupied() >= 0);
    }

private slots:
    void init() { t = std::make_unique<LinkFixture>(); }
    void cleanup() { t.reset(); }

    void latePlugThroughTheMap() {
        // Catches a port number resolved once at start-up and never again: a meter linked as
        // ports/com1 after start-up stayed "Connection Fail" for good.
        MeterSimOptions o = meterHolding(4);
        o.appearAt = 2s;
        o.link = paths::port_map_entry(1);
        t->sim = std::make_unique<MeterSim>(o);
        QSignalSpy appeared(t->sim.get(), &MeterSim::appeared);
        QVERIFY(t->sim->start());
        t->choosePort(1);
        t->f.thawTimers();
        QVERIFY(appeared.wait(tessaro::test::kWaitMs));
        // One supervisor tick (300 ms) opens it; the limit is generous for a loaded machine.
        QTRY_COMPARE_WITH_TIMEOUT(form().Text40->text(), kSuccess, tessaro::test::kWaitMs);
        QCOMPARE(form().Text39->text(), QString("COM Open"));
    }

    void latePlugOfTheNthPort() {
        // Catches a system port looked up once: an adapter plugged in after start-up, or back under
        // another name after a replug, was never opened.
        QStringList system;
        form().MSComm1->deviceMap().setLister([&] { return system; });
        t->choosePort(1);
        QVERIFY(!t->open());

        auto plug = [&] {
            t->pty = std::make_unique<PtyPair>();
            QVERIFY(t->pty->ok());
            system = {t->pty->slavePath()};
        };
        plug();
        QVERIFY(t->open()); // the first supervisor tick after it appears
        QCOMPARE(form().MSComm1->devicePath(), t->pty->slavePath());

        // Unplugged and back under another name: the next attempt while closed finds it again.
        t->pty->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!form().MSComm1->PortOpen(), tessaro::test::kWaitMs);
        t->pty.reset();
        plug();
        QVERIFY(t->open());
        QCOMPARE(form().MSComm1->devicePath(), t->pty->slavePath());
    }

    void slowMeterStoresEveryRecordInItsSlot_data() {
        QTest::addColumn<int>("latency");
        for (int ms : {0, 50, 150, 300, 600, 900}) QTest::addRow("%d ms", ms) << ms;
    }
    void slowMeterStoresEveryRecordInItsSlot() {
        // Catches late answers taken as the reply to a later request: port checks piling up, a pair
        // asked twice, every record one slot late and the last one lost.
        QFETCH(int, latency);
        MeterSimOptions o = meterHolding(20);
        o.latencyMin = o.latencyMax = std::chrono::milliseconds(latency);
        QList<MeterRequest> requests;
        QVERIFY(t->startSim(o));
        connect(t->sim.get(), &MeterSim::requestHandled, this, [&](const MeterRequest& r) { requests << r; });
        // Port checks on every link tick while the link waits for the slow meter.
        QVERIFY(t->open());
        QVERIFY(t->tickUntil([&] { return form().Text40->text() == kSuccess; }));
        t->historyView();
        form().read_click();
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }, 120000));
        checkStore(20);
        QVERIFY(!form().dl_unfinished);

        // One request on the wire at a time: each one leaves after the reply before it is in.
        for (qsizetype i = 1; i < requests.size(); ++i) {
            const MeterRequest& before = requests[i - 1];
            if (!before.answered) continue;
            const qint64 reply_end = before.replyStartNs + before.reply.size() * MeterSim::kByteNs;
            const qint64 sent = requests[i].arrivalNs - 4 * MeterSim::kByteNs;
            QVERIFY2(sent >= reply_end, qPrintable(QString("request %1 (%2) left %3 ms before the reply to %4")
                                                       .arg(i)
                                                       .arg(requests[i].address)
                                                       .arg((reply_end - sent) / 1e6)
                                                       .arg(before.address)));
        }
        QList<quint16> pairs;
        for (const MeterRequest& r : requests)
            if (r.kind == RequestKind::RecordPair) pairs << r.address;
        QCOMPARE(pairs.size(), 11); // no pair asked twice; the last one finds slot 21 empty
    }

    void readWithASilentMeterKeepsTheRecords() {
        // Catches Read emptying the table before the meter has answered: a meter that is switched off
        // cost every record on show.
        MeterSimOptions o = meterHolding(6);
        o.silentAfter = 1; // the port check, then nothing for a while
        o.silentFor = 6s;
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        t->historyView();
        const QByteArray record = QByteArray::fromHex("0102410c020e091e");
        for (int s = 0; s < 3; ++s) form().store_record(s, reinterpret_cast<const uint8_t*>(record.constData()));
        form().read_click();
        QCOMPARE(form().link_state, int16_t{1});
        QCOMPARE(form().Text42->text(), QString("Reading......."));
        QVERIFY(t->tickUntil([&] { return form().Text40->text() == QLatin1String("Connection Fail"); }));
        QCOMPARE(form().link_state, int16_t{2});
        QCOMPARE(form().last_occupied(), 2);
        for (int s = 0; s < 3; ++s) QVERIFY(slotHolds(form(), s, record));
        QVERIFY(t->f.user.messages.isEmpty());

        // The meter is back: a second Read works and brings the meter's records.
        QVERIFY(t->tickUntil([&] { return form().Text40->text() == kSuccess; }, tessaro::test::kWaitMs));
        form().read_click();
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }, tessaro::test::kWaitMs));
        checkStore(6);
    }

    void sortsWaitForTheResume() {
        // Catches a sort or Restore between an interrupted download and its resume: the repeated pair
        // was written by slot into the sorted table, losing one record and doubling another.
        MeterSimOptions o = meterHolding(30);
        o.silentAfter = 8; // check, count, then six pairs
        o.silentFor = 4s;
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        t->historyView();
        interruptDownload();
        for (auto* b : {form().Command7, form().Command12, form().Command13}) QVERIFY(!b->isEnabled());
        const int before = form().last_occupied();
        form().Command13_Click(); // descend, as its menu item would
        form().Command7_Click();
        QCOMPARE(form().last_occupied(), before);
        for (int s = 0; s <= before; ++s) QVERIFY(slotHolds(form(), s, t->sim->records().at(s)));
        // Port checks answered while the resume waits leave the sorts disabled; the resume ends it.
        QVERIFY(t->tickUntil([&] { return form().link_state == 2 && !form().dl_unfinished; }, 60000));
        checkStore(30);
        for (QPushButton* b : downloadButtons()) QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    }

    void emptyGivesBackTheButtons_data() {
        QTest::addColumn<bool>("interrupted");
        QTest::newRow("during the download") << false;
        QTest::newRow("after an interruption") << true;
    }
    void emptyGivesBackTheButtons() {
        // Catches Empty leaving Curve and Print disabled after the download it ended.
        QFETCH(bool, interrupted);
        MeterSimOptions o = meterHolding(30);
        o.latencyMin = o.latencyMax = 100ms;
        if (interrupted) o.silentAfter = 6;
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        t->historyView();
        if (interrupted) {
            interruptDownload();
        } else {
            form().read_click();
            QVERIFY(t->tickUntil([&] { return form().last_occupied() >= 2; }));
        }
        QVERIFY(!form().Command15->isEnabled());
        t->f.user.answers.enqueue(tessaro::Answer::Yes);
        form().Command2_Click();
        QCOMPARE(form().link_state, int16_t{2});
        QVERIFY(!form().dl_unfinished);
        for (QPushButton* b : downloadButtons()) QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    }

    void historyWhileALiveReplyIsOnItsWay() {
        // Catches a live reply judged as a port-check answer: a spurious "Connect Fail" and a refused Read.
        MeterSimOptions o = meterHolding(4);
        o.latencyMin = o.latencyMax = 200ms;
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        const int lives = t->sim->served(RequestKind::Live);
        form().Timer2_Timer(); // the live poll asks
        QTRY_VERIFY_WITH_TIMEOUT(t->sim->served(RequestKind::Live) > lives, tessaro::test::kWaitMs);
        t->historyView();
        form().rx_seen = 0;
        QVERIFY(t->runUntil([&] { return t->sim->outputIdle() && form().rx_seen != 0; }, tessaro::test::kWaitMs, false));
        QCOMPARE(form().Text40->text(), kSuccess);
        form().read_click();
        QVERIFY(t->f.user.messages.isEmpty());
        QVERIFY(t->tickUntil([&] { return form().link_state == 2; }));
        checkStore(4);
    }
};

QTEST_MAIN(TstRealLink)
#include "tst_real_link.moc"
