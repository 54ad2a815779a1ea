// The meter protocol over a pseudo-terminal on which the test plays the meter: requests on the wire,
// the receive handler's dispatch, the port check and what bad bytes from the meter do.
#include "link_fixture.h"
#include "support/generous_wait.h"

#include <QPushButton>
#include <QSignalSpy>

using tessaro::Form1;
using tessaro::test::LinkFixture;

namespace {
const QByteArray kGood = QByteArray::fromHex("1964");
}

class TstLinkProtocol : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkFixture> t;
    Form1& form() { return t->form(); }

    // Sets the link to (state, phase) armed for `bytes`, the way a request would have left it.
    void arm(int16_t state, int16_t phase, int bytes) {
        form().link_state = state;
        form().link_phase = phase;
        form().MSComm1->setInputLen(bytes);
        form().MSComm1->setRThreshold(bytes);
    }
    // The meter answers; waits until the program has taken the block.
    void reply(const QByteArray& bytes) {
        form().rx_seen = 0;
        t->pty->write(bytes);
        QTRY_COMPARE_WITH_TIMEOUT(form().rx_seen, uint8_t{16}, tessaro::test::kWaitMs);
    }

private slots:
    void init() {
        t = std::make_unique<LinkFixture>();
        QVERIFY(t->startPty());
        QVERIFY(t->open());
        t->pty->readAvailable();
    }
    void cleanup() { t.reset(); }

    void requestOnTheWire_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("count 5000") << 5000 << QByteArray::fromHex("00130088");
        QTest::newRow("port check 6000") << 6000 << QByteArray::fromHex("00170070");
        QTest::newRow("live 7000") << 7000 << QByteArray::fromHex("001b0058");
        QTest::newRow("first pair 257") << 257 << QByteArray::fromHex("00010001");
        QTest::newRow("pair 259") << 259 << QByteArray::fromHex("00010003");
        QTest::newRow("pair 301") << 301 << QByteArray::fromHex("0001002d");
    }
    void requestOnTheWire() {
        // Catches a wrong byte order, a missing 0x00 in front of an address byte, or a lost write.
        QFETCH(int, address);
        QFETCH(QByteArray, wire);
        form().send_address(static_cast<uint16_t>(address));
        QCOMPARE(t->pty->readAtLeast(4), wire);
    }

    void portCheckReply_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("status");
        QTest::newRow("6500 right") << kGood << "Connect Success";
        QTest::newRow("6501 wrong") << QByteArray::fromHex("1965") << "Connect Fail";
        QTest::newRow("a single byte") << QByteArray::fromHex("19") << "Connect Fail";
        QTest::newRow("garbage") << QByteArray::fromHex("ffff") << "Connect Fail";
    }
    void portCheckReply() {
        // Catches a check judged on the wrong value, a short block taken as right, or live_skip kept on a failure.
        QFETCH(QByteArray, answer);
        QFETCH(QString, status);
        arm(2, 2, 2);
        form().MSComm1->setRThreshold(static_cast<int>(answer.size())); // lets a lone byte raise the event
        form().live_skip = 9;
        form().Command7->setEnabled(false);
        reply(answer);
        QCOMPARE(form().Text40->text(), status);
        QCOMPARE(form().live_skip, uint8_t(status == "Connect Fail" ? 0 : 9));
        QVERIFY(form().Command7->isEnabled());
        QCOMPARE(form().link_state, int16_t{2});
    }

    void resumeOrReset_data() {
        QTest::addColumn<int>("session");
        QTest::addColumn<bool>("unfinished");
        QTest::addColumn<int>("addr");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("count");
        QTest::newRow("interrupted download resumes at 301") << 1 << true << 301 << QByteArray::fromHex("0001002d") << 100;
        QTest::newRow("no session: reset") << 0 << true << 301 << QByteArray() << 0;
        QTest::newRow("view session 3: reset") << 3 << false << 301 << QByteArray() << 0;
        QTest::newRow("finished download stays") << 1 << false << 301 << QByteArray() << 100;
        QTest::newRow("address below 257: nothing to resume") << 1 << true << 0 << QByteArray() << 100;
    }
    void resumeOrReset() {
        // Catches a resume without an unfinished download, at an address outside the store, or a missed reset.
        QFETCH(int, session);
        QFETCH(bool, unfinished);
        QFETCH(int, addr);
        QFETCH(QByteArray, sent);
        QFETCH(int, count);
        arm(2, 2, 2);
        form().dl_session = static_cast<uint8_t>(session);
        form().dl_unfinished = unfinished;
        form().meter_count = 100;
        form().rec_addr = addr;
        form().pair_half = 1;
        reply(kGood);
        QCOMPARE(form().Text40->text(), QString("Connect Success"));
        QCOMPARE(form().meter_count, int16_t(count));
        if (sent.isEmpty()) {
            QCOMPARE(form().link_state, int16_t{2});
            QCOMPARE(t->pty->readAvailable(), QByteArray()); // a request would be written at once
            if (session != 1) QCOMPARE(form().rec_addr, 0);
        } else {
            QCOMPARE(t->pty->readAtLeast(4), sent);
            QCOMPARE(form().link_state, int16_t{1});
            QCOMPARE(form().link_phase, int16_t{1});
            QCOMPARE(form().pair_half, uint8_t{0});
            QCOMPARE(form().MSComm1->InputLen(), 8);
            QCOMPARE(form().MSComm1->RThreshold(), 8);
        }
    }

    void tenBytesArmedAsEight() {
        // Catches bytes beyond the armed length spilling into the next frame.
        arm(1, 1, 8);
        form().meter_count = 10;
        form().rec_addr = 257;
        form().pair_half = 1; // the second frame of the pair, so no more of this reply is due
        const QByteArray frame = QByteArray::fromHex("0102410c020e091e");
        reply(frame + QByteArray::fromHex("aabb"));
        QCOMPARE(form().rx_bytes, frame);
        QVERIFY(tessaro::test::slotHolds(form(), 1, frame));
        QCOMPARE(form().MSComm1->InBufferCount(), 0);
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010003")); // the next pair
        const QByteArray next = QByteArray::fromHex("8203420c020e0a00");
        reply(next);
        QVERIFY(tessaro::test::slotHolds(form(), 2, next));
    }

    void shiftedReplyIsAskedForAgain() {
        // Catches a reply shifted by a stray byte stored garbled, the rest of it taken as the next
        // reply, or the pair not asked for again.
        arm(1, 1, 8);
        form().meter_count = 10;
        form().rec_addr = 257;
        form().pair_half = 0;
        const QByteArray r1 = QByteArray::fromHex("0102410c020e091e");
        const QByteArray r2 = QByteArray::fromHex("8203420c020e0a00");
        t->pty->write(QByteArray::fromHex("a5") + r1 + r2);
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010001"));
        QCOMPARE(form().last_occupied(), -1);
        QCOMPARE(form().pair_half, uint8_t{0});
        QCOMPARE(form().MSComm1->InBufferCount(), 0);
        t->pty->write(r1 + r2);
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010003"));
        QVERIFY(tessaro::test::slotHolds(form(), 0, r1));
        QVERIFY(tessaro::test::slotHolds(form(), 1, r2));
        QCOMPARE(form().last_occupied(), 1);
        QCOMPARE(form().pair_retries, uint8_t{0});
    }

    void otherEventKindChangesNothing() {
        // Catches a handler that reads or marks an arrival for an event that is not received data.
        form().MSComm1->setRThreshold(0); // the port raises nothing by itself
        form().MSComm1->setInputLen(2);
        form().link_state = 2;
        form().link_phase = 2;
        form().rx_seen = 0;
        form().Text40->setText("Connection Fail");
        t->pty->write(QByteArray::fromHex("1964"));
        QTRY_COMPARE_WITH_TIMEOUT(form().MSComm1->InBufferCount(), 2, tessaro::test::kWaitMs);
        QVERIFY(form().MSComm1->CommEvent() != tessaro::MSComm::kCommEventReceive);
        form().MSComm1_OnComm();
        QCOMPARE(form().rx_seen, uint8_t{0});
        QCOMPARE(form().MSComm1->InBufferCount(), 2);
        QCOMPARE(form().Text40->text(), QString("Connection Fail"));
    }

    void liveFrameDispatchedInAnyState() {
        // Catches a live frame dropped because the link went idle after acquisition stopped.
        arm(2, 3, 3);
        form().live_skip = 9;
        reply(QByteArray::fromHex("007b41"));
        QCOMPARE(form().rx_bytes, QByteArray::fromHex("007b41"));
        QCOMPARE(form().link_state, int16_t{2});
    }

    void countReplyAboveLimitAskedAgain_data() {
        QTest::addColumn<QByteArray>("count");
        QTest::newRow("4601") << QByteArray::fromHex("11f9");
        QTest::newRow("0x8000") << QByteArray::fromHex("8000");
        QTest::newRow("0xFFFF") << QByteArray::fromHex("ffff");
    }
    void countReplyAboveLimitAskedAgain() {
        // Catches a huge count that wraps to a small or negative one and starts a download with the old count.
        form().meter_count = 7;
        arm(1, 2, 2);
        QFETCH(QByteArray, count);
        reply(count);
        QCOMPARE(t->pty->readAvailable(), QByteArray()); // asked again on the next link tick, not at once
        form().Timer1_Timer();
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00130088"));
        QCOMPARE(form().meter_count, int16_t{7});
        QVERIFY(!form().dl_unfinished);
        QCOMPARE(form().link_state, int16_t{1});
        QCOMPARE(form().link_phase, int16_t{2});
        reply(QByteArray::fromHex("0003"));
        QCOMPARE(form().meter_count, int16_t{3});
        QVERIFY(form().dl_unfinished);
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010001"));
        QCOMPARE(form().link_phase, int16_t{1});
    }

    void badFramesLeaveTheLinkSound_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int16_t>("state");
        QTest::addColumn<bool>("askedAgain"); // the same pair is requested again from its first record
        QTest::newRow("all 0xFF: empty slot") << QByteArray(8, '\xff') << -1 << int16_t{2} << false;
        QTest::newRow("0xFF in the minute") << QByteArray::fromHex("0102410c020e09ff") << -1 << int16_t{2} << false;
        QTest::newRow("0xFF in the count only") << QByteArray::fromHex("ffff410c020e0900") << 0 << int16_t{1} << false;
        QTest::newRow("0xFF in count and range") << QByteArray::fromHex("ffffff0c020e0900") << -1 << int16_t{1} << true;
        QTest::newRow("random bytes") << QByteArray::fromHex("5a17c3020b1f3a44") << -1 << int16_t{1} << true;
        QTest::newRow("month 13") << QByteArray::fromHex("0102410c0d0e091e") << -1 << int16_t{1} << true;
    }
    void badFramesLeaveTheLinkSound() {
        // Catches a crash, an empty slot or an implausible frame stored as a record on frames of bad bytes.
        QFETCH(QByteArray, block);
        QFETCH(int, stored);
        QFETCH(int16_t, state);
        QFETCH(bool, askedAgain);
        arm(1, 1, 8);
        form().meter_count = 10;
        form().rec_addr = 257;
        form().pair_half = 0;
        form().dl_unfinished = true;
        reply(block);
        QCOMPARE(form().last_occupied(), stored);
        QCOMPARE(form().link_state, state);
        if (askedAgain) {
            QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010001"));
            QCOMPARE(form().pair_half, uint8_t{0});
            QCOMPARE(form().pair_retries, uint8_t{1});
            QCOMPARE(form().MSComm1->RThreshold(), 8);
        }
        if (state == 2) {
            QVERIFY(!form().dl_unfinished);
            QCOMPARE(form().dl_session, uint8_t{0});
            QVERIFY(form().Command5->isEnabled());
        }
    }

    void frameOutsideTheStoreEndsTheDownload() {
        // Catches a frame stored at a slot below 0 or beyond 4600 when the pair address is out of range.
        for (int addr : {0, 255, 257 + 4600 + 2}) {
            arm(1, 1, 8);
            form().meter_count = 4600;
            form().rec_addr = addr;
            form().pair_half = 0;
            form().dl_unfinished = true;
            reply(QByteArray::fromHex("0102410c020e091e"));
            QCOMPARE(form().link_state, int16_t{2});
            QCOMPARE(form().last_occupied(), -1);
            QVERIFY(!form().dl_unfinished);
        }
    }

    void shortFrameAsksForThePairAgain() {
        // Catches a short block stored as a record, or a re-request from the second half of the pair.
        arm(1, 1, 8);
        form().MSComm1->setRThreshold(5);
        form().meter_count = 10;
        form().rec_addr = 259;
        form().pair_half = 1;
        reply(QByteArray::fromHex("0102410c02"));
        QCOMPARE(t->pty->readAtLeast(4), QByteArray::fromHex("00010003"));
        QCOMPARE(form().pair_half, uint8_t{0});
        QCOMPARE(form().link_phase, int16_t{1});
        QCOMPARE(form().MSComm1->RThreshold(), 8);
        QCOMPARE(form().last_occupied(), -1);
    }
};

QTEST_MAIN(TstLinkProtocol)
#include "tst_link_protocol.moc"
