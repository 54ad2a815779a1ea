// A hostile meter and port file: a device that babbles while a box is open, a meter whose record
// count is never valid, and a FIFO or a device in place of the port file.
#include "link_fixture.h"
#include "support/heap_use.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSignalSpy>

#include <sys/stat.h>

using tessaro::Form1;
using tessaro::MeterSim;
using tessaro::MeterSimOptions;
using tessaro::MSComm;
using tessaro::RequestKind;
using tessaro::test::LinkFixture;
using tessaro::test::slotHolds;
namespace paths = tessaro::paths;
using namespace std::chrono_literals;

namespace {

// Heap in use, not RSS: under AddressSanitizer freed blocks stay resident in its quarantine, so RSS
// grows with every dropped block although nothing is held.
qint64 heapKiB() { return qint64(tessaro::test::heap_in_use() / 1024); }

QList<QString> g_messages;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) { g_messages << text; }

} // namespace

class TstHostileLink : public QObject {
    Q_OBJECT

private slots:
    void babblingDeviceWhileABoxIsOpen() {
        // Catches the port layer taking in everything a babbling device sends while a handler's message
        // box runs its own loop: gigabytes within seconds.
        tessaro::test::TempXdg xdg;
        MeterSimOptions o;
        o.babble = true;
        o.link = paths::port_map_entry(3);
        MeterSim sim(o);
        QVERIFY(sim.start());
        MSComm port;
        port.setCommPort(3);
        QCOMPARE(port.setPortOpen(true), 0);
        port.setInputLen(2);
        port.setRThreshold(2);
        int most_held = 0;
        qint64 heap_before = -1;
        qint64 heap_most = 0;
        int events = 0;
        connect(&port, &MSComm::OnComm, this, [&] {
            if (++events > 1) return;
            port.Input();
            // A box open: its loop runs for a while and nobody takes the port's bytes.
            heap_before = heapKiB();
            QEventLoop box;
            QTimer sample;
            connect(&sample, &QTimer::timeout, &box, [&] {
                most_held = std::max(most_held, port.InBufferCount());
                heap_most = std::max(heap_most, heapKiB());
            });
            sample.start(20);
            QTimer::singleShot(3000, &box, &QEventLoop::quit);
            box.exec();
        });
        QTRY_VERIFY_WITH_TIMEOUT(events >= 1, tessaro::test::kWaitMs);
        QVERIFY(heap_before > 0);
        // What the layer holds plus what the driver's queue can hold.
        QVERIFY2(most_held <= MSComm::kMaxHeldInput + 64 * 1024, qPrintable(QString::number(most_held)));
        QVERIFY2(heap_most - heap_before < 16 * 1024, qPrintable(QString("%1 KiB more").arg(heap_most - heap_before)));
        // The port still raises its event once the box is closed.
        QTRY_VERIFY_WITH_TIMEOUT(events >= 2, tessaro::test::kWaitMs);
        QVERIFY(port.PortOpen());
    }

    void countNeverValid() {
        // Catches a count above 4600 asked for again at the meter's pace without end (100,000 requests
        // in 25 s), and the table emptied for a count that never became valid.
        LinkFixture t;
        MeterSimOptions o;
        o.records = tessaro::generateRecords(4, 3);
        o.reportedCount = 0xFFFF;
        QVERIFY(t.startSim(o));
        QVERIFY(t.connect());
        t.historyView();
        const QByteArray record = QByteArray::fromHex("0102410c020e091e");
        t.form().store_record(0, reinterpret_cast<const uint8_t*>(record.constData()));
        t.form().read_click();
        QVERIFY(t.tickUntil([&] { return !t.f.user.messages.isEmpty(); }, tessaro::test::kWaitMs));
        QCOMPARE(t.f.user.messages.size(), 1);
        QCOMPARE(t.f.user.messages[0].text, QString("The meter's record count is not valid"));
        QCOMPARE(t.f.user.messages[0].title, QString("System prompt"));
        const int asked = t.sim->served(RequestKind::Count);
        QCOMPARE(asked, 8); // asked once a link tick, then given up
        QCOMPARE(t.form().link_state, int16_t{2});
        QVERIFY(t.form().Command5->isEnabled());
        QVERIFY(t.form().Text42->text().isEmpty());
        QCOMPARE(t.form().last_occupied(), 0);
        QVERIFY(slotHolds(t.form(), 0, record));
        // The link stays idle: port checks go on, the count is not asked for again.
        const int checks = t.sim->served(RequestKind::PortCheck);
        QVERIFY(t.tickUntil([&] { return t.sim->served(RequestKind::PortCheck) >= checks + 3; }));
        QCOMPARE(t.sim->served(RequestKind::Count), asked);
        QCOMPARE(t.form().Text40->text(), QString("Connect Success"));
    }

    void portFileThatIsNoFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to a device") << "device";
    }
    void portFileThatIsNoFile() {
        // Catches a FIFO or a device in place of the port file read and written on every tick: a Qt
        // warning each 60 ms (27 KB of output in 20 s), a blocked open, or a device's lines changed.
        QFETCH(QString, kind);
        LinkFixture t;
        const QString file = paths::port_file();
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile::remove(file);
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), file));
        QVERIFY(t.startSim(MeterSimOptions{}));
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        QVERIFY(t.open());
        for (int i = 0; i < 40; ++i) t.form().Timer1_Timer();
        t.form().Timer3_Timer();
        qInstallMessageHandler(previous);
        QVERIFY2(g_messages.isEmpty(), qPrintable(g_messages.join('\n')));
        QCOMPARE(t.form().Text38->text(), QString("COM3"));
        QVERIFY(t.form().MSComm1->PortOpen());
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(file).constData(), &st), 0);
        QVERIFY(kind == "fifo" ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
    }
};

QTEST_MAIN(TstHostileLink)
#include "tst_hostile_link.moc"
