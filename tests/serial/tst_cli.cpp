// tessaro-cli against the meter simulator on pseudo-terminals: the port list, exit statuses.
#include "link/live_log.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/generous_wait.h"
#include "records/record_store.h"
#include "records/records_csv.h"
#include "support/cli_run.h"
#include "support/pty_pair.h"
#include "support/odd_files.h"
#include "support/stale_locks.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaro;
using tessaro::test::PtyPair;
using tessaro::test::TempXdg;

namespace {

using Run = tessaro::test::CliRun;

// Runs the tool with the event loop turning, so an in-process simulator keeps answering.
Run run_cli(const QStringList& args, int timeout_ms = 60000, const QString& dir = {}) {
    return tessaro::test::run_program(QStringLiteral(CLI_EXE), args, timeout_ms,
                                      QProcessEnvironment::systemEnvironment(), dir);
}

// A fast meter behind port 3 holding n generated records.
MeterSimOptions meterHolding(int n) {
    MeterSimOptions o;
    o.link = paths::port_map_entry(3);
    o.records = generateRecords(n, 11);
    o.pacing = false;
    return o;
}

// What the window's Export CSV writes after downloading these records: each frame stored in its
// slot as the download does, then the store's CSV.
QByteArray window_export(const QList<QByteArray>& frames) {
    auto store = std::make_unique<RecordStore>();
    for (int s = 0; s < frames.size(); ++s)
        store->store_record(s, reinterpret_cast<const uint8_t*>(frames.at(s).constData()));
    store->count_records();
    return records_csv(*store);
}

QByteArray read_file(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT

    std::unique_ptr<TempXdg> xdg;

private slots:
    void init() { xdg = std::make_unique<TempXdg>(); }
    void cleanup() { xdg.reset(); }

    void usageStatuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out"); // what standard output starts with (status 0)
        const QByteArray usage("Usage: tessaro-cli");
        const QByteArray version("tessaro-cli " TESSARO_TEST_VERSION "\n");
        QTest::newRow("no command") << QStringList{} << 1 << QByteArray();
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 1 << QByteArray();
        QTest::newRow("unknown option") << QStringList{"ports", "--bogus"} << 1 << QByteArray();
        QTest::newRow("stray argument") << QStringList{"ports", "extra"} << 1 << QByteArray();
        QTest::newRow("help") << QStringList{"--help"} << 0 << usage;
        QTest::newRow("version") << QStringList{"--version"} << 0 << version;
        for (const char* command : {"ports", "download", "monitor"}) {
            QTest::addRow("%s help", command) << QStringList{command, "--help"} << 0 << usage;
            QTest::addRow("%s version", command) << QStringList{command, "--version"} << 0 << version;
        }
        const QStringList monitor{"monitor", "--device", "/nonexistent/tty"};
        QTest::newRow("exit-on-alarm without threshold") << monitor + QStringList{"--exit-on-alarm"} << 1 << QByteArray();
        QTest::newRow("threshold no current") << monitor + QStringList{"--threshold", "12kV"} << 1 << QByteArray();
        QTest::newRow("threshold empty") << monitor + QStringList{"--threshold", ""} << 1 << QByteArray();
        QTest::newRow("samples 0") << monitor + QStringList{"--samples", "0"} << 1 << QByteArray();
        QTest::newRow("samples word") << monitor + QStringList{"--samples", "many"} << 1 << QByteArray();
    }
    void usageStatuses() {
        // Catches a bad command line that runs anyway or exits as a device failure, and a
        // subcommand without --help or --version.
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        const Run r = run_cli(args);
        QCOMPARE(r.status, status);
        if (status == 1) QVERIFY(!r.err.isEmpty());
        else QVERIFY2(r.out.startsWith(out), r.out.constData());
    }

    void durationForms_data() {
        QTest::addColumn<QString>("duration");
        QTest::addColumn<bool>("accepted");
        for (const char* good : {"1", "1.5", ".5", "90", "500ms", "10s", "15m", "15min", "2h", "7d", " 3 s ", "3650d",
                                 "2147484", "4294968", "315360000"})
            QTest::addRow("%s", good) << QString::fromLatin1(good) << true;
        for (const char* bad : {"", "0", "0.0001", "-1", "abc", "1e3", "10 years", "3651d", "315360001", "1.5.2",
                                "10sec", "nan", "inf", "99999999999999999999999"})
            QTest::addRow("bad %s", bad) << QString::fromLatin1(bad) << false;
    }
    void durationForms() {
        // Catches a duration form refused that scripts write (fractions, units), and one taken
        // that cannot be meant (zero, negative, beyond ten years, a number that overflows).
        QFETCH(QString, duration);
        QFETCH(bool, accepted);
        // With no such device, an accepted duration ends at the port (2), a refused one at once (1).
        const Run r = run_cli({"monitor", "--device", xdg->root() + "/no-tty", "--duration", duration});
        QVERIFY2(r.status == (accepted ? 2 : 1), r.err.constData());
        if (!accepted) QVERIFY2(r.err.contains("--duration"), r.err.constData());
    }

    void portsListsALinkedPseudoTerminal() {
        // Catches the command-line list missing a device linked as com3, or its port number.
        PtyPair pty;
        QVERIFY(pty.ok());
        QVERIFY(xdg->mapPort(3, pty.slavePath()));
        const Run r = run_cli({"ports"});
        QCOMPARE(r.status, 0);
        const QString device = QFileInfo(pty.slavePath()).canonicalFilePath();
        QVERIFY2(r.out.contains((device + "\t3\tfree").toUtf8()), r.out.constData());
    }

    void portsProbeFindsTheMeter() {
        // Catches a probe that misses the meter, or JSON lines that do not parse.
        MeterSimOptions o;
        o.link = paths::port_map_entry(3);
        o.pacing = false;
        MeterSim sim(o);
        QVERIFY(sim.start());
        const Run r = run_cli({"ports", "--probe", "--json"});
        QCOMPARE(r.status, 0);
        bool found = false;
        for (const QByteArray& line : r.out.split('\n')) {
            if (line.isEmpty()) continue;
            QJsonParseError error{};
            const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            if (o.value("device").toString() == QFileInfo(sim.slavePath()).canonicalFilePath()) {
                found = true;
                QCOMPARE(o.value("probe").toString(), QStringLiteral("meter"));
                QCOMPARE(o.value("ports").toArray().first().toInt(), 3);
            }
        }
        QVERIFY2(found, r.out.constData());
    }

    void downloadEqualsTheWindowsExport_data() {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("output"); // "file", "" for no -o, "-" for standard output
        QTest::newRow("none") << 0 << "file";
        QTest::newRow("one") << 1 << "";
        QTest::newRow("one to -") << 1 << "-";
        QTest::newRow("300") << 300 << "file";
        QTest::newRow("4600") << 4600 << "file";
    }
    void downloadEqualsTheWindowsExport() {
        // Catches records lost, shifted or formatted otherwise than the window exports them, and
        // "-o -" making a file named "-" instead of writing to standard output.
        QFETCH(int, records);
        QFETCH(QString, output);
        MeterSim sim(meterHolding(records));
        QVERIFY(sim.start());
        const QString out = xdg->root() + "/records.csv";
        QStringList args{"download", "--port", "3"};
        const bool toFile = output == "file";
        if (toFile) args << "-o" << out;
        else if (!output.isEmpty()) args << "-o" << output;
        const Run r = run_cli(args, 240000, xdg->root());
        QVERIFY2(r.status == 0, r.err.constData());
        const QByteArray expected = window_export(sim.records());
        QCOMPARE(toFile ? read_file(out) : r.out, expected);
        QCOMPARE(r.err, QByteArray()); // no progress line when stderr is no terminal
        QVERIFY(!QFileInfo::exists(xdg->root() + "/-"));
    }

    void downloadLeavesNonRegularOutputsAlone_data() {
        tessaro::test::add_odd_file_rows();
        QTest::newRow("/dev/zero itself") << -1;
    }
    void downloadLeavesNonRegularOutputsAlone() {
        // Catches a FIFO, a device node, a socket or a folder at -o replaced by a regular file (as
        // root even /dev/zero), or a download run for an output that cannot take it.
        QFETCH(int, kind);
        MeterSim sim(meterHolding(5));
        QVERIFY(sim.start());
        QString out = xdg->root() + "/out.csv";
        if (kind < 0) out = QStringLiteral("/dev/zero");
        else PLANT_ODD_FILE(kind, out);
        const QByteArray name = QFile::encodeName(out);
        struct stat before {};
        QCOMPARE(::stat(name.constData(), &before), 0);
        QProcess p;
        // Where the real /dev/zero is at stake, root's rights are dropped: a tool that replaced the
        // path would fail on the folder instead of destroying the system's device.
        const bool system_device = kind < 0 || tessaro::test::OddFile(kind) == tessaro::test::OddFile::ZeroLink;
        if (system_device && ::geteuid() == 0) {
            QVERIFY(QFile::setPermissions(xdg->root(), QFile::permissions(xdg->root()) | QFile::ExeOther));
            p.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
            });
        }
        p.start(QStringLiteral(CLI_EXE), {"download", "--port", "3", "-o", out});
        QSignalSpy finished(&p, &QProcess::finished);
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(finished.count() > 0 || finished.wait(60000));
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("cannot write " + out.toUtf8() + ": It is not a regular file."), err.constData());
        struct stat after {};
        QCOMPARE(::stat(name.constData(), &after), 0);
        QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(sim.served(RequestKind::Count), 0); // refused before the meter was asked
    }

    void downloadResumesAfterSilence() {
        // Catches a download that gives up, or stores a pair twice or late, when the meter is
        // silent for a while mid-download.
        MeterSimOptions o = meterHolding(60);
        o.silentAfter = 12;
        o.silentFor = std::chrono::milliseconds(2500);
        o.latencyMin = std::chrono::milliseconds(0);
        o.latencyMax = std::chrono::milliseconds(400);
        MeterSim sim(o);
        QVERIFY(sim.start());
        const QString out = xdg->root() + "/records.csv";
        const Run r = run_cli({"download", "--port", "3", "-o", out}, 120000);
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(read_file(out), window_export(sim.records()));
    }

    void downloadFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("no meter") << "silent" << QByteArray("no meter answers");
        QTest::newRow("no port") << "none" << QByteArray("no device for port 3");
        QTest::newRow("meter stops") << "stops" << QByteArray("the meter stopped answering after");
        QTest::newRow("interrupted") << "term" << QByteArray("interrupted");
        QTest::newRow("no count") << "count 6500" << QByteArray("the meter's answer was not a record count");
    }
    void downloadFailures() {
        // Catches a failed download that reports success, writes a partial file or says nothing.
        QFETCH(QString, kind);
        QFETCH(QByteArray, reason);
        std::unique_ptr<PtyPair> pty;
        std::unique_ptr<MeterSim> sim;
        if (kind == "silent") {
            pty = std::make_unique<PtyPair>();
            QVERIFY(xdg->mapPort(3, pty->slavePath()));
        } else if (kind != "none") {
            MeterSimOptions o = meterHolding(400);
            if (kind == "stops") o.silentAfter = 20;
            if (kind == "term") o.pacing = true;
            if (kind == "count 6500") o.reportedCount = 6500; // the port check's answer, not a count
            sim = std::make_unique<MeterSim>(o);
            QVERIFY(sim->start());
        }
        const QString out = xdg->root() + "/records.csv";
        QProcess p;
        p.start(QStringLiteral(CLI_EXE), {"download", "--port", "3", "--wait", "2", "-o", out});
        QVERIFY(p.waitForStarted(10000));
        QSignalSpy finished(&p, &QProcess::finished);
        if (kind == "term") {
            // Mid-download: some pairs have been asked for.
            QTRY_VERIFY_WITH_TIMEOUT(sim->served(RequestKind::RecordPair) >= 5, tessaro::test::kWaitMs);
            p.terminate();
        }
        QVERIFY(finished.count() > 0 || finished.wait(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains(reason), err.constData());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY(!QFileInfo::exists(out));
    }

    void monitorLogsOverloadAndLowBattery() {
        // Catches live lines that lose the overload or low-battery state, or JSON that does not parse.
        MeterSimOptions o = meterHolding(0);
        o.overload = true;
        o.lowBattery = true;
        MeterSim sim(o);
        QVERIFY(sim.start());
        const Run csv = run_cli({"monitor", "--port", "3", "--duration", "2", "--interval", "200"});
        QVERIFY2(csv.status == 0, csv.err.constData());
        const QList<QByteArray> lines = csv.out.split('\n');
        QCOMPARE(lines.first(), live_log_header().trimmed() + '\r');
        QVERIFY(lines.size() >= 4);
        for (const QByteArray& line : lines.mid(1)) {
            if (line.isEmpty()) continue;
            QVERIFY2(line.endsWith(",,OL   mA,1,1,not locked\r"), line.constData());
        }
        const Run json = run_cli({"monitor", "--port", "3", "--duration", "2", "--json"});
        QVERIFY2(json.status == 0, json.err.constData());
        int objects = 0;
        for (const QByteArray& line : json.out.split('\n')) {
            if (line.isEmpty()) continue;
            QJsonParseError error{};
            const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(o.value("overload").toBool(), true);
            QCOMPARE(o.value("low_battery").toBool(), true);
            QVERIFY(o.value("current_a").isNull());
            ++objects;
        }
        QVERIFY(objects >= 2);
    }

    void monitorContinuesOnlyItsOwnFormat_data() {
        QTest::addColumn<bool>("json");
        QTest::addColumn<QString>("existing"); // "empty", "csv log", "json log", "records", "text"
        QTest::addColumn<bool>("continued");
        QTest::newRow("json onto json log") << true << "json log" << true;
        QTest::newRow("json onto empty file") << true << "empty" << true;
        QTest::newRow("json onto csv log") << true << "csv log" << false;
        QTest::newRow("json onto records") << true << "records" << false;
        QTest::newRow("json onto text") << true << "text" << false;
        QTest::newRow("csv onto json log") << false << "json log" << false;
        QTest::newRow("csv onto records") << false << "records" << false;
        QTest::newRow("csv onto csv log") << false << "csv log" << true;
    }
    void monitorContinuesOnlyItsOwnFormat() {
        // Catches JSON lines appended to a CSV log or a records file (with success reported), or
        // a log of the tool's own format refused.
        QFETCH(bool, json);
        QFETCH(QString, existing);
        QFETCH(bool, continued);
        MeterSim sim(meterHolding(3));
        QVERIFY(sim.start());
        QByteArray old;
        if (existing == "csv log") old = live_log_header() + "2026-12-10T17:05:03.120+01:00,0.5,500mA,0,0,not locked\r\n";
        else if (existing == "json log") old = "{\"time\":\"2026-12-10T17:05:03.120+01:00\",\"current_a\":0.5,\"shown\":\"500mA\"}\n";
        else if (existing == "records") old = window_export(sim.records());
        else if (existing == "text") old = "shopping list\n";
        const QString out = xdg->root() + "/out.log";
        QFile f(out);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
        f.close();
        QStringList args{"monitor", "--port", "3", "--interval", "100", "--duration", "1", "-o", out};
        if (json) args << "--json";
        const Run r = run_cli(args);
        const QByteArray after = read_file(out);
        QVERIFY(after.startsWith(old));
        if (!continued) {
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains("It is not a live log of this program"), r.err.constData());
            QCOMPARE(after, old);
            return;
        }
        QVERIFY2(r.status == 0, r.err.constData());
        const QList<QByteArray> added = after.mid(old.size()).split('\n');
        QVERIFY(added.size() >= 3);
        for (const QByteArray& line : added) {
            if (line.isEmpty()) continue;
            if (json) QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());
            else QCOMPARE(line.count(','), 5);
        }
    }

    void fullDiskIsAFailure_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("download") << "download";
        QTest::newRow("monitor") << "monitor";
    }
    void fullDiskIsAFailure() {
        // Catches a write cut by a full disk reported as success, or an old records file lost to it.
        QFETCH(QString, command);
        MeterSim sim(meterHolding(300));
        QVERIFY(sim.start());
        const QString out = xdg->root() + "/out.csv";
        QByteArray old = command == "download" ? QByteArray("old records\n") : QByteArray();
        if (!old.isEmpty()) {
            QFile f(out);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
        }
        QProcess p;
        p.setChildProcessModifier([] {
            // A disk that fills at 2000 bytes, set as a shell's ulimit -f does: SIGXFSZ keeps its
            // default action, so a program that does not ignore it is killed mid-file.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{2000, 2000};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        QStringList args{command, "--port", "3", "-o", out};
        if (command == "monitor") args << "--interval" << "100";
        p.start(QStringLiteral(CLI_EXE), args);
        QSignalSpy finished(&p, &QProcess::finished);
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(finished.count() > 0 || finished.wait(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("cannot write") && err.contains(out.toUtf8()), err.constData());
        const QByteArray left = read_file(out);
        if (command == "download") {
            QCOMPARE(left, old);
        } else {
            // Every line the log keeps is whole.
            QVERIFY(left.startsWith(live_log_header()));
            QVERIFY(left.endsWith("\r\n"));
        }
    }

    void monitorSurvivesTheDeviceGoingAway() {
        // Catches a monitor that ends, spins or stays deaf when the adapter is unplugged and
        // plugged in again.
        MeterSimOptions o = meterHolding(0);
        o.disappearAfter = 6;
        o.disappearFor = std::chrono::milliseconds(1500);
        MeterSim sim(o);
        QVERIFY(sim.start());
        QSignalSpy back(&sim, &MeterSim::reappeared);
        const Run r = run_cli({"monitor", "--port", "3", "--interval", "100", "--duration", "6"});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(back.count(), 1);
        // Readings before the unplug (at most 5 after the port check) and after it.
        QVERIFY2(r.out.count('\n') - 1 > 6, r.out.constData());
    }

    void monitorEndsCleanlyOnSigterm() {
        // Catches a log cut mid-line or left without its last readings when the tool is stopped.
        MeterSim sim(meterHolding(0));
        QVERIFY(sim.start());
        const QString log = xdg->root() + "/live.csv";
        QProcess p;
        p.start(QStringLiteral(CLI_EXE), {"monitor", "--port", "3", "--interval", "100", "-o", log});
        QVERIFY(p.waitForStarted(10000));
        QSignalSpy finished(&p, &QProcess::finished);
        QTRY_VERIFY_WITH_TIMEOUT(read_file(log).count('\n') >= 6, tessaro::test::kWaitMs);
        p.terminate();
        QVERIFY(finished.count() > 0 || finished.wait(tessaro::test::kWaitMs));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QByteArray bytes = read_file(log);
        QVERIFY(bytes.startsWith(live_log_header()));
        QVERIFY(bytes.endsWith("\r\n"));
        for (const QByteArray& line : bytes.split('\n')) {
            if (line.isEmpty()) continue;
            QCOMPARE(line.count(','), 5);
        }
        // Started again, it continues the same log.
        const qsizetype before = bytes.count('\n');
        const Run again = run_cli({"monitor", "--port", "3", "--duration", "1", "-o", log});
        QCOMPARE(again.status, 0);
        const QByteArray after = read_file(log);
        QVERIFY(after.count('\n') > before);
        QCOMPARE(after.count("time,current_a"), 1);
    }

    void monitorOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("readings");
        QTest::addColumn<QString>("alarm"); // the alarm column of every line
        // The meter reads 1234 counts in range 0x41: 123.4 mA.
        QTest::newRow("samples") << QStringList{"--samples", "4"} << 0 << 4 << "not locked";
        QTest::newRow("samples within a duration past 24 days")
            << QStringList{"--duration", "4294968", "--samples", "4", "--interval", "300"} << 0 << 4 << "not locked";
        QTest::newRow("threshold below") << QStringList{"--threshold", "100mA", "--samples", "3"} << 0 << 3 << "alarm";
        QTest::newRow("threshold equal") << QStringList{"--threshold", "123.4mA", "--samples", "3"} << 0 << 3 << "alarm";
        QTest::newRow("threshold just above") << QStringList{"--threshold", "123.41 mA", "--samples", "3"} << 0 << 3 << "normal";
        QTest::newRow("threshold in A") << QStringList{"--threshold", "0.1A", "--samples", "3"} << 0 << 3 << "alarm";
        QTest::newRow("threshold bare A") << QStringList{"--threshold", "0.2", "--samples", "3"} << 0 << 3 << "normal";
        QTest::newRow("exit on alarm") << QStringList{"--threshold", "100mA", "--exit-on-alarm"} << 3 << 1 << "alarm";
        QTest::newRow("exit on alarm, none")
            << QStringList{"--threshold", "1A", "--exit-on-alarm", "--samples", "3"} << 0 << 3 << "normal";
        QTest::newRow("json alarm") << QStringList{"--json", "--threshold", "100mA", "--samples", "2"} << 0 << 2 << "alarm";
        QTest::newRow("json unlocked") << QStringList{"--json", "--samples", "2"} << 0 << 2 << "not locked";
        QTest::newRow("lf") << QStringList{"--lf", "--samples", "2"} << 0 << 2 << "not locked";
        QTest::newRow("quiet") << QStringList{"-q", "--samples", "2"} << 0 << 2 << "not locked";
        QTest::newRow("-o -") << QStringList{"-o", "-", "--samples", "2"} << 0 << 2 << "not locked";
    }
    void monitorOptions() {
        // Catches --samples, --threshold, --exit-on-alarm, --lf and -q doing otherwise than said,
        // a long --duration that ends the run at once, and a missing or wrong summary line.
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(int, readings);
        QFETCH(QString, alarm);
        MeterSim sim(meterHolding(0));
        QVERIFY(sim.start());
        const Run r = run_cli(QStringList{"monitor", "--port", "3", "--interval", "100"} + options, 60000, xdg->root());
        QVERIFY2(r.status == status, r.err.constData());
        const bool json = options.contains("--json");
        const bool lf = options.contains("--lf");
        QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        if (!json) QCOMPARE(lines.takeFirst(), live_log_header().chopped(lf ? 2 : 1));
        QCOMPARE(lines.size(), readings);
        for (const QByteArray& line : lines) {
            if (json) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                QCOMPARE(o.value("current_a").toDouble(), 0.1234);
                QCOMPARE(o.value("alarm").toString(), alarm); // "not locked" without a threshold, as in the CSV
            } else {
                QVERIFY2(line.endsWith(",123.4mA,0,0," + alarm.toUtf8() + (lf ? "" : "\r")), line.constData());
            }
        }
        QVERIFY(!QFileInfo::exists(xdg->root() + "/-"));
        if (options.contains("-q")) {
            QCOMPARE(r.err, QByteArray());
        } else {
            const QByteArray summary = QByteArray::number(readings) + " readings, Min: 123.4mA, Max: 123.4mA, Average:";
            QVERIFY2(r.err.startsWith("tessaro-cli monitor: " + summary), r.err.constData());
            if (status == 3) QVERIFY2(r.err.contains("alarm: 123.4mA at or above the threshold 100mA"), r.err.constData());
        }
    }

    void downloadFormats_data() {
        QTest::addColumn<QString>("option");
        QTest::newRow("json") << "--json";
        QTest::newRow("json to a file") << "--json -o";
        QTest::newRow("lf") << "--lf";
        QTest::newRow("lf leaves a file as it is") << "--lf -o";
    }
    void downloadFormats() {
        // Catches JSON lines that differ from the CSV's records, and --lf that leaves CR or
        // changes a file's line ends.
        QFETCH(QString, option);
        MeterSim sim(meterHolding(40));
        QVERIFY(sim.start());
        const QString out = xdg->root() + "/records";
        QStringList args{"download", "--port", "3", option.section(' ', 0, 0)};
        const bool toFile = option.endsWith("-o");
        if (toFile) args << "-o" << out;
        const Run r = run_cli(args);
        QVERIFY2(r.status == 0, r.err.constData());
        const QByteArray got = toFile ? read_file(out) : r.out;
        const QByteArray csv = window_export(sim.records());
        if (option.startsWith("--lf")) {
            QCOMPARE(got, toFile ? csv : QByteArray(csv).replace("\r\n", "\n"));
            return;
        }
        QList<QByteArray> rows = csv.split('\n');
        rows.removeFirst(); // the header
        rows.removeAll(QByteArray());
        const QList<QByteArray> objects = got.split('\n').mid(0, got.count('\n'));
        QCOMPARE(objects.size(), rows.size());
        for (qsizetype k = 0; k < rows.size(); ++k) {
            const QJsonObject o = QJsonDocument::fromJson(objects.at(k)).object();
            const QList<QByteArray> f = rows.at(k).trimmed().split(',');
            QCOMPARE(o.value("record").toInt(), f.at(0).toInt());
            QCOMPARE(o.value("time").toString(), QString::fromLatin1(f.at(1)));
            QCOMPARE(o.value("current_a").isNull(), f.at(2).isEmpty());
            if (!f.at(2).isEmpty()) QCOMPARE(o.value("current_a").toDouble(), f.at(2).toDouble());
            QCOMPARE(o.value("shown").toString(), QString::fromUtf8(f.at(3)));
            QCOMPARE(o.value("count").toInt(), f.at(4).toInt());
            QCOMPARE(o.value("range_code").toInt(), f.at(5).toInt());
            QCOMPARE(o.value("minute").toInt(), f.at(11).toInt());
        }
    }

    void closedPipeEndsQuietly_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("monitor csv") << "monitor --port 3 --interval 100";
        QTest::newRow("monitor json") << "monitor --port 3 --interval 100 --json";
        QTest::newRow("download") << "download --port 3";
        QTest::newRow("ports") << "ports"; // the reader ends before the list is written
    }
    void closedPipeEndsQuietly() {
        // Catches "Broken pipe" and status 2 when the reader of standard output has what it
        // wanted (head), which fails scripts run with pipefail.
        QFETCH(QString, command);
        MeterSim sim(meterHolding(2000)); // a CSV well beyond what a pipe holds
        QVERIFY(sim.start());
        QProcess shell;
        const QString reader = command == "ports" ? QStringLiteral("true") : QStringLiteral("head -c 1 >/dev/null");
        shell.start(QStringLiteral("bash"), {"-c", QStringLiteral("set -o pipefail; '%1' %2 | %3")
                                                       .arg(QStringLiteral(CLI_EXE), command, reader)});
        QSignalSpy finished(&shell, &QProcess::finished);
        QVERIFY(shell.waitForStarted(10000));
        QVERIFY(finished.count() > 0 || finished.wait(120000));
        const QByteArray err = shell.readAllStandardError();
        QVERIFY2(shell.exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("pipe") && !err.contains("cannot write"), err.constData());
    }

    void interruptedDownloadLeavesNothingBehind() {
        // Catches a download that takes the late answers to an interrupted one's requests for
        // its own (the port check's 6500 read as the record count, or pairs shifted). The meter
        // answers late, as real ones do, and each round interrupts at another request: the old
        // request's answer arrives while the new download has begun.
        MeterSimOptions o = meterHolding(8);
        o.pacing = true; // at 4800 baud, as a real meter
        o.latencyMin = std::chrono::milliseconds(300);
        o.latencyMax = std::chrono::milliseconds(600);
        MeterSim sim(o);
        QVERIFY(sim.start());
        const QByteArray expected = window_export(sim.records());
        const RequestKind phases[] = {RequestKind::PortCheck, RequestKind::Count, RequestKind::RecordPair};
        for (int round = 0; round < 6; ++round) {
            const RequestKind phase = phases[round % 3];
            const int before = sim.served(phase);
            QProcess first;
            first.start(QStringLiteral(CLI_EXE), {"download", "--port", "3"});
            QSignalSpy finished(&first, &QProcess::finished);
            QVERIFY(first.waitForStarted(10000));
            // The request has reached the meter; its answer is still to come.
            QTRY_VERIFY_WITH_TIMEOUT(sim.served(phase) > before, 30000);
            ::kill(static_cast<pid_t>(first.processId()), SIGINT);
            QVERIFY(finished.count() > 0 || finished.wait(30000));
            QCOMPARE(first.exitCode(), 2);
            const Run again = run_cli({"download", "--port", "3"});
            QVERIFY2(again.status == 0, qPrintable(QStringLiteral("round %1: %2").arg(round).arg(again.err.constData())));
            QCOMPARE(again.out, expected);
        }
    }

    void deviceLockIsTheDevices_data() {
        QTest::addColumn<QString>("second"); // how the second program names the device
        QTest::newRow("its device path") << "device";
        QTest::newRow("another spelling of the path") << "dotted";
        QTest::newRow("another link to it") << "link";
        QTest::newRow("the same port number") << "port";
    }
    void deviceLockIsTheDevices() {
        // Catches two programs talking to one meter at once (as root the terminal's exclusive
        // mode keeps nobody out) because they named the device differently; a holder not named;
        // and a killed holder's leftovers still reported busy or keeping the device.
        QFETCH(QString, second);
        MeterSim sim(meterHolding(3));
        QVERIFY(sim.start());
        const QString device = QFileInfo(sim.slavePath()).canonicalFilePath();
        QStringList where{"--port", "3"};
        if (second == "device") where = QStringList{"--device", device};
        else if (second == "dotted") where = QStringList{"--device", "/dev/../" + device.mid(1)};
        else if (second == "link") {
            QVERIFY(QFile::link(device, xdg->root() + "/meter"));
            where = QStringList{"--device", xdg->root() + "/meter"};
        }
        QProcess first;
        first.start(QStringLiteral(CLI_EXE), {"monitor", "--port", "3", "--interval", "100"});
        QSignalSpy finished(&first, &QProcess::finished);
        QVERIFY(first.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(sim.served(RequestKind::Live) >= 2, 30000);
        const QByteArray holder = "busy: held by tessaro-cli (pid " + QByteArray::number(first.processId()) + ")";

        const Run taken = run_cli(QStringList{"download"} + where);
        QCOMPARE(taken.status, 2);
        QVERIFY2(taken.err.contains(holder), taken.err.constData());
        const Run listed = run_cli({"ports"});
        QVERIFY2(listed.out.contains(device.toUtf8() + "\t3\t" + holder), listed.out.constData());
        const Run json = run_cli({"ports", "--json"});
        QVERIFY2(json.out.contains("\"holder\":\"tessaro-cli (pid " + QByteArray::number(first.processId()) + ")\""),
                 json.out.constData());

        // Killed, it leaves its lock file and the exclusive mode behind: neither holds any more.
        const qint64 first_pid = first.processId();
        auto no_lock_left = qScopeGuard([first_pid] { tessaro::test::remove_locks_of(first_pid); });
        first.kill();
        QVERIFY(finished.count() > 0 || finished.wait(30000));
        const Run after = run_cli({"ports", "--probe"});
        QVERIFY2(after.out.contains(device.toUtf8() + "\t3\tfree\tmeter answers"), after.out.constData());
        const Run download = run_cli(QStringList{"download"} + where);
        QVERIFY2(download.status == 0, download.err.constData());
        QCOMPARE(download.out, window_export(sim.records()));
    }
};

QTEST_MAIN(TstCli)
#include "tst_cli.moc"
