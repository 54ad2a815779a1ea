// Port choice and supervision with the meter simulator: status lines, the port file, the watchdog,
// closing and reopening, a changed port number and a device that goes away and comes back.
#include "link_fixture.h"
#include "platform/serial_device_map.h"
#include "support/generous_wait.h"

#include "link/port_choice.h"
#include "platform/port_lock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QFileInfo>

#include <memory>
#include <vector>

using tessaro::Form1;
using tessaro::MeterSimOptions;
using tessaro::test::fileBytes;
using tessaro::test::LinkFixture;
namespace paths = tessaro::paths;

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}
} // namespace

class TstLinkSupervision : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkFixture> t;
    Form1& form() { return t->form(); }

private slots:
    void init() { t = std::make_unique<LinkFixture>(); }
    void cleanup() { t.reset(); }

    void noDevice() {
        // Catches a missing device reported as open, or a failure left without a reason for the operator.
        t->choosePort(16);
        form().Timer3_Timer();
        QVERIFY(!form().MSComm1->PortOpen());
        form().Timer1_Timer();
        QCOMPARE(form().Text39->text(), QString("COM Close"));
        QCOMPARE(form().Text40->text(), QString("Connection Fail"));
        QCOMPARE(form().Text38->text(), QString("COM16"));
        QVERIFY(form().Text39->toolTip().contains("16") || form().Text39->toolTip().contains("No such device"));
        QCOMPARE(form().Text38->toolTip(), form().Text39->toolTip());
        QCOMPARE(form().live_skip, uint8_t{0});
    }

    void rightAnswersConnect() {
        // Catches a port that is never opened or checked, or a success that needs many ticks.
        QVERIFY(t->startSim({}));
        QVERIFY(t->open());
        QCOMPARE(form().Text38->toolTip(), tessaro::device_chain_text(form().MSComm1->devicePath()));
        QVERIFY(form().Text38->toolTip().startsWith(form().MSComm1->devicePath()));
        QVERIFY(form().Text39->toolTip().isEmpty());
        const int before = form().link_ticks;
        QVERIFY(t->tickUntil([&] { return form().Text40->text() == QLatin1String("Connect Success"); }));
        const int ticks = form().link_ticks - before;
        QVERIFY2(ticks >= 1 && ticks <= 3, qPrintable(QString::number(ticks)));
        QCOMPARE(form().Text39->text(), QString("COM Open"));
        QCOMPARE(form().MSComm1->Settings(), QString("4800,n,8,1"));
    }

    void silentDeviceWatchdog() {
        // Catches a watchdog that never fires, fires early, or leaves a hanging exchange in place.
        MeterSimOptions o;
        o.silentAfter = 1; // the first port check is answered, then nothing
        QVERIFY(t->startSim(o));
        QVERIFY(t->connect());
        const int ticks = t->ticksUntilConnectionFail();
        QVERIFY2(ticks >= 41 && ticks <= 82, qPrintable(QString::number(ticks)));
        QCOMPARE(form().live_skip, uint8_t{0});
        QVERIFY(form().Text42->text().isEmpty());
        QCOMPARE(form().Text39->text(), QString("COM Open"));

        // A Read that gets no answer is given up by the next look of the watchdog.
        t->historyView();
        form().Text40->setText("Connect Success");
        form().read_click();
        QCOMPARE(form().link_state, int16_t{1});
        const int hang = t->ticksUntilConnectionFail();
        QVERIFY2(hang >= 1 && hang <= 82, qPrintable(QString::number(hang)));
        QCOMPARE(form().link_state, int16_t{2});
        QVERIFY(form().MSComm1->PortOpen());
    }

    void wrongAnswersReopenEverySupervisorTick() {
        // Catches a port kept open while the meter answers the check wrong.
        MeterSimOptions o;
        o.badChecks = 1000;
        QVERIFY(t->startSim(o));
        QVERIFY(t->open());
        form().Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(form().Text40->text(), QString("Connect Fail"), tessaro::test::kWaitMs);
        form().Timer3_Timer(); // closed and opened again on the same number
        QVERIFY(form().MSComm1->PortOpen());
        QCOMPARE(form().Text40->text(), QString("Connect Fail"));
        // With the device gone from the map the reopening fails, which shows that the port was closed.
        t->f.xdg.unmapPort(tessaro::test::kMeterPort);
        form().Timer3_Timer();
        QVERIFY(!form().MSComm1->PortOpen());
        QVERIFY(!form().Text39->toolTip().isEmpty());
    }

    void busyPortNamesItsHolder() {
        // Catches a port held by another program that the status tips do not name, although its
        // lock file does and the program runs.
        QVERIFY(t->startSim({}));
        const QString device = QFileInfo(t->sim->slavePath()).canonicalFilePath();
        if (!QFileInfo(QStringLiteral("/run/lock")).isWritable()) QSKIP("no writable lock folder");
        QProcess holder;
        holder.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(holder.waitForStarted(10000));
        QFile lock("/run/lock/" + tessaro::lock_file_name(device));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(holder.processId()) + "\nsleep\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        const QString named = QStringLiteral("held by sleep (pid %1)").arg(holder.processId());
        const bool opened = t->open();
        lock.remove();
        holder.kill();
        holder.waitForFinished();
        QVERIFY(!opened);
        QVERIFY2(form().Text39->toolTip().contains(named), qPrintable(form().Text39->toolTip()));
    }

    void changedPortNumber() {
        // Catches a port kept on the old number, or a port file that lags behind the choice.
        QVERIFY(t->startSim({}, 3));
        MeterSimOptions o4;
        o4.link = paths::port_map_entry(4);
        tessaro::MeterSim sim4(o4);
        QVERIFY(sim4.start());
        QVERIFY(t->connect());
        QCOMPARE(fileBytes(paths::port_file()), QByteArray::fromHex("0300"));
        t->choosePort(4);
        form().Timer1_Timer();
        QCOMPARE(fileBytes(paths::port_file()), QByteArray::fromHex("0400"));
        QCOMPARE(form().Text38->text(), QString("COM4"));
        form().Timer3_Timer();
        QVERIFY(form().MSComm1->PortOpen());
        QCOMPARE(form().MSComm1->CommPort(), 4);
        QCOMPARE(form().MSComm1->devicePath(), paths::port_map_entry(4));
        QVERIFY(t->tickUntil([&] { return sim4.served(tessaro::RequestKind::PortCheck) > 0; }));
    }

    void unpluggedAndReplugged() {
        // Catches a vanished device still shown open, or a supervisor that never reopens it.
        QVERIFY(t->startSim({}));
        QVERIFY(t->connect());
        const QString gone = t->sim->slavePath();
        t->sim->disappear();
        QTRY_VERIFY_WITH_TIMEOUT(!form().MSComm1->PortOpen(), tessaro::test::kWaitMs);
        // Another program's pseudo-terminal may get the vanished one's number: it is not our meter.
        std::vector<std::unique_ptr<tessaro::test::PtyPair>> strangers;
        while (strangers.size() < 64) {
            strangers.push_back(std::make_unique<tessaro::test::PtyPair>());
            if (strangers.back()->slavePath() == gone) break;
        }
        form().Timer1_Timer();
        QCOMPARE(form().Text39->text(), QString("COM Close"));
        QCOMPARE(form().Text40->text(), QString("Connection Fail"));
        form().Timer3_Timer();
        QVERIFY(!form().MSComm1->PortOpen());
        QVERIFY(form().Text38->toolTip().contains(paths::port_map_entry(tessaro::test::kMeterPort)));
        QVERIFY(t->sim->reappear());
        form().Timer3_Timer();
        QVERIFY(form().MSComm1->PortOpen());
        QVERIFY(t->tickUntil([&] { return form().Text40->text() == QLatin1String("Connect Success"); }));
    }

    void portFileFromTheBox_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("com");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("entry \"1 \"") << 0 << "COM1" << QByteArray::fromHex("0100");
        QTest::newRow("entry 16") << 15 << "COM16" << QByteArray::fromHex("1000");
    }
    void portFileFromTheBox() {
        // Catches a wrong byte order in the port file, or the entry "1 " not read as 1.
        QFETCH(int, index);
        QFETCH(QString, com);
        QFETCH(QByteArray, file);
        form().Combo1->setCurrentIndex(index);
        form().Timer1_Timer();
        QCOMPARE(form().Text38->text(), com);
        QCOMPARE(fileBytes(paths::port_file()), file);
        QCOMPARE(form().Timer1->interval(), 60);
    }

    void savedPortAtStartUp_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("index");
        QTest::newRow("5 selects \"5\"") << QByteArray::fromHex("0500") << 4;
        QTest::newRow("1 selects \"1 \"") << QByteArray::fromHex("0100") << 0;
        QTest::newRow("empty file") << QByteArray() << -1;
        QTest::newRow("one byte") << QByteArray::fromHex("05") << -1;
        QTest::newRow("0") << QByteArray::fromHex("0000") << -1;
        QTest::newRow("17") << QByteArray::fromHex("1100") << -1;
        QTest::newRow("negative") << QByteArray::fromHex("ffff") << -1;
    }
    void savedPortAtStartUp() {
        // Catches an out-of-range or short port file selecting a wrong entry or leaving the designed "1".
        QFETCH(QByteArray, file);
        QFETCH(int, index);
        writeFile(paths::port_file(), file);
        form().Combo1->setCurrentIndex(2);
        form().select_saved_port();
        QCOMPARE(form().Combo1->currentIndex(), index);
        if (index < 0) {
            QVERIFY(form().Combo1->currentText().isEmpty());
            // Nothing chosen yet: the port stays closed and the file is left as it is.
            form().Text38->setText("COM9");
            form().Timer1_Timer();
            form().Timer3_Timer();
            QVERIFY(!form().MSComm1->PortOpen());
            QCOMPARE(form().Text38->text(), QString("COM9"));
            QCOMPARE(fileBytes(paths::port_file()), file);
        } else {
            QCOMPARE(tessaro::port_number(form().Combo1->currentText()), index + 1);
        }
    }

    void missingPortFileAtStartUp() {
        // Catches a missing file selecting an entry or being created before anything was chosen.
        QVERIFY(!QFileInfo::exists(paths::port_file()));
        QCOMPARE(form().Combo1->currentIndex(), -1);
        QVERIFY(form().Combo1->currentText().isEmpty());
        form().Timer1_Timer();
        QVERIFY(!QFileInfo::exists(paths::port_file()));
    }

    void longerFileKeepsItsTail() {
        // Catches a port file truncated to 2 bytes on writing.
        writeFile(paths::port_file(), QByteArray::fromHex("0500414243"));
        form().Combo1->setCurrentIndex(6);
        form().Timer1_Timer();
        QCOMPARE(fileBytes(paths::port_file()), QByteArray::fromHex("0700414243"));
    }

    void fileChangedBehindTheProgramIsRewritten_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("overwritten") << "overwrite";
        QTest::newRow("removed") << "remove";
        QTest::newRow("replaced by a rename") << "rename";
    }
    void fileChangedBehindTheProgramIsRewritten() {
        // Catches a skipped write that leaves the file holding another number than the box, also
        // after quiet ticks in which the program no longer reads the file.
        QFETCH(QString, change);
        form().Combo1->setCurrentIndex(2);
        for (int i = 0; i < 5; ++i) form().Timer1_Timer();
        QCOMPARE(fileBytes(paths::port_file()), QByteArray::fromHex("0300"));
        const QString file = paths::port_file();
        if (change == "overwrite") {
            writeFile(file, QByteArray::fromHex("0900"));
        } else if (change == "remove") {
            QVERIFY(QFile::remove(file));
        } else {
            writeFile(file + ".new", QByteArray::fromHex("0a00"));
            QVERIFY(::rename(QFile::encodeName(file + ".new").constData(), QFile::encodeName(file).constData()) == 0);
        }
        form().Timer1_Timer();
        QCOMPARE(fileBytes(file), QByteArray::fromHex("0300"));
    }

    void invalidBoxTextKeepsTheLastNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
        QTest::newRow("0") << "0";
        QTest::newRow("17") << "17";
        QTest::newRow("2.5") << "2.5";
        QTest::newRow("nan") << "nan";
        QTest::newRow("huge") << "1e400";
    }
    void invalidBoxTextKeepsTheLastNumber() {
        // Catches a typed non-number converted to 0 (or wrapped) and written or opened as a port.
        QFETCH(QString, text);
        QVERIFY(t->startSim({}));
        QVERIFY(t->connect());
        form().Combo1->setEditText(text);
        form().Timer1_Timer();
        form().Timer3_Timer();
        QCOMPARE(form().Text38->text(), QString("COM3"));
        QCOMPARE(fileBytes(paths::port_file()), QByteArray::fromHex("0300"));
        QVERIFY(form().MSComm1->PortOpen());
        QCOMPARE(form().MSComm1->CommPort(), 3);
    }

    void unwritablePortFileIsNoFailure() {
        // Catches a crash or a closed port when the port file cannot be created.
        const QString config = QFileInfo(paths::port_file()).absolutePath();
        QDir(config).removeRecursively();
        writeFile(config, "x"); // a file where the folder should be
        t->choosePort(3);
        form().Timer1_Timer();
        form().Timer3_Timer();
        QCOMPARE(form().Text38->text(), QString("COM3"));
        form().Timer1_Timer();
        QVERIFY(QFileInfo(config).isFile());
    }
};

QTEST_MAIN(TstLinkSupervision)
#include "tst_link_supervision.moc"
