// The serial port layer over a real pseudo-terminal: arming, events, reads, discarding, failures.
#include "link/mscomm.h"
#include "platform/paths.h"
#include "support/generous_wait.h"
#include "support/pty_pair.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using tessaro::MSComm;
using tessaro::test::PtyPair;
using tessaro::test::TempXdg;

class TstMSComm : public QObject {
    Q_OBJECT

    std::unique_ptr<TempXdg> xdg;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<MSComm> port;

    bool openOnPty() {
        xdg->mapPort(3, pty->slavePath());
        port->setCommPort(3);
        return port->setPortOpen(true) == 0 && port->PortOpen();
    }
    // Waits until `arrived` bytes are at the port (taken by handlers or still waiting there), then
    // lets the port's queued checks run: whatever event those bytes raise has been raised by then,
    // however slowly the machine delivered them.
    bool settle(const std::function<qsizetype()>& arrived, qsizetype written) {
        if (!QTest::qWaitFor([&] { return arrived() >= written; }, tessaro::test::kWaitMs)) return false;
        for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
        return true;
    }
    static qsizetype total(const QList<QByteArray>& blocks) {
        qsizetype n = 0;
        for (const QByteArray& b : blocks) n += b.size();
        return n;
    }

private slots:
    void init() {
        xdg = std::make_unique<TempXdg>();
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->ok());
        port = std::make_unique<MSComm>();
    }
    void cleanup() {
        port.reset();
        pty.reset();
        xdg.reset();
    }

    void opensThroughThePortMap() {
        // Catches a port map entry that is not followed to its device.
        QVERIFY(openOnPty());
        QCOMPARE(port->devicePath(), tessaro::paths::port_map_entry(3));
        port->Output(QByteArray::fromHex("0017"));
        port->Output(QByteArray::fromHex("0070"));
        QCOMPARE(pty->readAtLeast(4), QByteArray::fromHex("00170070"));
        QCOMPARE(port->setPortOpen(false), 0);
        QVERIFY(!port->PortOpen());
    }

    void oneEventPerArmedReply_data() {
        QTest::addColumn<int>("armed");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::newRow("exact 2") << 2 << QByteArray::fromHex("1964") << QList<QByteArray>{QByteArray::fromHex("1964")};
        QTest::newRow("3-byte live frame") << 3 << QByteArray::fromHex("007b41")
                                           << QList<QByteArray>{QByteArray::fromHex("007b41")};
        QTest::newRow("two frames, one chunk") << 8 << QByteArray::fromHex("0102410b0c0d0e0f8102410b0c0d0e10")
                                               << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f"),
                                                                    QByteArray::fromHex("8102410b0c0d0e10")};
        QTest::newRow("below threshold") << 8 << QByteArray::fromHex("01024105") << QList<QByteArray>{};
    }
    void oneEventPerArmedReply() {
        // Catches an edge-triggered event that loses bytes left waiting after a handler, or fires early.
        QFETCH(int, armed);
        QFETCH(QByteArray, sent);
        QFETCH(QList<QByteArray>, reads);
        QVERIFY(openOnPty());
        port->setInputLen(armed);
        port->setRThreshold(armed);
        QList<QByteArray> got;
        connect(port.get(), &MSComm::OnComm, this, [&] {
            QCOMPARE(port->CommEvent(), MSComm::kCommEventReceive);
            got << port->Input();
        });
        pty->write(sent);
        QVERIFY(settle([&] { return total(got) + port->InBufferCount(); }, sent.size()));
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), reads.size(), tessaro::test::kWaitMs);
        QVERIFY(settle([&] { return total(got) + port->InBufferCount(); }, sent.size()));
        QCOMPARE(got, reads);
    }

    void eventWhenTheArmedBytesComeInPieces_data() {
        QTest::addColumn<QList<QByteArray>>("pieces"); // written one after the other, 30 ms apart
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::newRow("a byte at a time") << QList<QByteArray>{"\x01", "\x02", "\x41", "\x0b", "\x0c", "\x0d", "\x0e", "\x0f"}
                                          << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f")};
        QTest::newRow("second frame split across writes")
            << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f8102"), QByteArray::fromHex("410b0c0d0e10")}
            << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f"), QByteArray::fromHex("8102410b0c0d0e10")};
        QTest::newRow("frame, then a piece, then the rest")
            << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f81"), QByteArray::fromHex("02410b"),
                                 QByteArray::fromHex("0c0d0e10")}
            << QList<QByteArray>{QByteArray::fromHex("0102410b0c0d0e0f"), QByteArray::fromHex("8102410b0c0d0e10")};
    }
    void eventWhenTheArmedBytesComeInPieces() {
        // Catches a driver wake-up level above what the event still lacks: bytes already taken in
        // from the port plus bytes still in the driver reach the threshold, yet nothing is raised.
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QList<QByteArray>, reads);
        QVERIFY(openOnPty());
        port->setInputLen(8);
        port->setRThreshold(8);
        QList<QByteArray> got;
        connect(port.get(), &MSComm::OnComm, this, [&] { got << port->Input(); });
        qsizetype written = 0;
        for (const QByteArray& piece : pieces) {
            pty->write(piece);
            written += piece.size();
            // Each piece reaches the port before the next is written.
            QVERIFY(settle([&] { return total(got) + port->InBufferCount(); }, written));
        }
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), reads.size(), tessaro::test::kWaitMs);
        QVERIFY(settle([&] { return total(got) + port->InBufferCount(); }, written));
        QCOMPARE(got, reads);
    }

    void bytesBelowTheThresholdAreCountedAndDiscarded() {
        // Catches waiting bytes that the count does not see, or a discard that leaves them in the
        // driver to be taken as the start of the next reply.
        QVERIFY(openOnPty());
        port->setInputLen(8);
        port->setRThreshold(8);
        QList<QByteArray> got;
        connect(port.get(), &MSComm::OnComm, this, [&] { got << port->Input(); });
        pty->write(QByteArray::fromHex("aabbccddee"));
        QTRY_COMPARE_WITH_TIMEOUT(port->InBufferCount(), 5, tessaro::test::kWaitMs);
        port->setInBufferCount(0);
        QCOMPARE(port->InBufferCount(), 0);
        pty->write(QByteArray::fromHex("0102410b0c0d0e0f"));
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), 1, tessaro::test::kWaitMs);
        QCOMPARE(got.front(), QByteArray::fromHex("0102410b0c0d0e0f"));
    }

    void inputLenTruncatesAndDiscardDropsTheRest() {
        // Catches a read that takes more than InputLen, or a discard that leaves bytes behind.
        QVERIFY(openOnPty());
        port->setInputLen(8);
        port->setRThreshold(8);
        QByteArray got;
        int events = 0;
        connect(port.get(), &MSComm::OnComm, this, [&] {
            ++events;
            got = port->Input();
            port->setInBufferCount(0);
        });
        pty->write(QByteArray::fromHex("00112233445566778899"));
        QTRY_COMPARE_WITH_TIMEOUT(events, 1, tessaro::test::kWaitMs);
        QCOMPARE(got, QByteArray::fromHex("0011223344556677"));
        QVERIFY(settle([] { return qsizetype{0}; }, 0));
        QCOMPARE(events, 1);
        QCOMPARE(port->InBufferCount(), 0);
    }

    void eventWaitsForTheHandlerToReturn() {
        // Catches a receive event that re-enters its own handler from a nested event loop.
        QVERIFY(openOnPty());
        port->setInputLen(2);
        port->setRThreshold(2);
        int depth = 0, maxDepth = 0, events = 0;
        connect(port.get(), &MSComm::OnComm, this, [&] {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            ++events;
            port->Input();
            if (events == 1) {
                pty->write(QByteArray::fromHex("1964"));
                // A message box would run a nested loop like this one, here until the bytes wait.
                QVERIFY(settle([&] { return qsizetype(port->InBufferCount()); }, 2));
            }
            --depth;
        });
        pty->write(QByteArray::fromHex("1964"));
        QTRY_COMPARE_WITH_TIMEOUT(events, 2, tessaro::test::kWaitMs);
        QCOMPARE(maxDepth, 1);
    }

    void rearmingRaisesTheEventForWaitingBytes() {
        // Catches a threshold change that does not look at the bytes already waiting.
        QVERIFY(openOnPty());
        port->setInputLen(8);
        port->setRThreshold(8);
        QSignalSpy spy(port.get(), &MSComm::OnComm);
        pty->write(QByteArray::fromHex("1964"));
        QVERIFY(settle([&] { return qsizetype(port->InBufferCount()); }, 2));
        QCOMPARE(spy.count(), 0);
        port->setInputLen(2);
        port->setRThreshold(2);
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, tessaro::test::kWaitMs);
    }

    void closedPortOperationsAreSilent() {
        // Catches a crash or a spurious event when a closed port is armed, discarded, written or read.
        QSignalSpy spy(port.get(), &MSComm::OnComm);
        port->setInputLen(2);
        port->setRThreshold(2);
        port->setInBufferCount(0);
        port->setOutBufferCount(0);
        port->Output(QByteArray::fromHex("0013"));
        QCOMPARE(port->Input(), QByteArray());
        QCOMPARE(port->InBufferCount(), 0);
        QVERIFY(settle([] { return qsizetype{0}; }, 0));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!port->PortOpen());
    }

    void openFailures_data() {
        QTest::addColumn<QString>("target");   // what the map entry points at; empty: no entry
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("failure");
        QTest::newRow("entry points nowhere") << "/nonexistent/ttyX" << MSComm::kNoSuchPort
                                              << int(tessaro::OpenFailure::NoSuchPort);
        QTest::newRow("regular file") << "FILE" << MSComm::kPortOpenFailed << int(tessaro::OpenFailure::NotSerial);
    }
    void openFailures() {
        // Catches an open of a missing or non-serial device that crashes, hangs or reports success.
        QFETCH(QString, target);
        QFETCH(int, code);
        QFETCH(int, failure);
        if (target == "FILE") {
            target = xdg->root() + "/plain.txt";
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a tty");
        }
        xdg->mapPort(5, target);
        port->setCommPort(5);
        const int rc = port->setPortOpen(true);
        QVERIFY(!port->PortOpen());
        if (code == MSComm::kNoSuchPort) QCOMPARE(rc, code);
        else QVERIFY(rc != 0);
        if (code == MSComm::kNoSuchPort) QCOMPARE(int(port->lastOpenFailure()), failure);
    }

    void secondOpenerSeesABusyDevice() {
        // Catches a device held by another program reported as a permission problem.
        QVERIFY(openOnPty());
        MSComm other;
        other.setCommPort(3);
        QVERIFY(other.setPortOpen(true) != 0);
        QVERIFY(!other.PortOpen());
        QCOMPARE(int(other.lastOpenFailure()), int(tessaro::OpenFailure::Busy));
        QVERIFY(port->PortOpen());
    }

    void numberWithoutDeviceIs8002() {
        // Catches a port number beyond the system's ports that opens something else.
        port->setCommPort(16);
        QCOMPARE(port->setPortOpen(true), MSComm::kNoSuchPort);
        QVERIFY(!port->PortOpen());
    }

    void vanishedDeviceClosesThePort() {
        // Catches a port that stays open and spins on read errors once the device has gone.
        QVERIFY(openOnPty());
        port->setInputLen(2);
        port->setRThreshold(2);
        pty->closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!port->PortOpen(), tessaro::test::kWaitMs);
        // A new device under the same map entry opens again.
        PtyPair again;
        QVERIFY(again.ok());
        xdg->mapPort(3, again.slavePath());
        QCOMPARE(port->setPortOpen(true), 0);
        QVERIFY(port->PortOpen());
    }
};

QTEST_MAIN(TstMSComm)
#include "tst_mscomm.moc"
