// tessaro-cli against the meter simulator on pseudo-terminals: the port list, exit statuses.
#include "link/live_log.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/generous_wait.h"
#include "records/record_store.h"
#include "records/records_csv.h"
#include "support/pty_pair.h"

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

using namespace tessaro;
using tessaro::test::PtyPair;
using tessaro::test::TempXdg;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool with the event loop turning, so an in-process simulator keeps answering.
Run run_cli(const QStringList& args, int timeout_ms = 60000) {
    QProcess p;
    p.start(QStringLiteral(CLI_EXE), args);
    QSignalSpy finished(&p, &QProcess::finished);
    Run r;
    if (!p.waitForStarted(10000) || !(finished.count() > 0 || finished.wait(timeout_ms))) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
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
        QTest::newRow("no command") << QStringList{} << 1;
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 1;
        QTest::newRow("unknown option") << QStringList{"ports", "--bogus"} << 1;
        QTest::newRow("stray argument") << QStringList{"ports", "extra"} << 1;
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("ports help") << QStringList{"ports", "--help"} << 0;
    }
    void usageStatuses() {
        // Catches a bad command line that runs anyway or exits as a device failure.
        QFETCH(QStringList, args);
        QFETCH(int, status);
        const Run r = run_cli(args);
        QCOMPARE(r.status, status);
        if (status == 1) QVERIFY(!r.err.isEmpty());
        else QVERIFY(r.out.contains("Usage: tessaro-cli"));
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
        QTest::addColumn<bool>("toFile");
        QTest::newRow("none") << 0 << true;
        QTest::newRow("one") << 1 << false;
        QTest::newRow("300") << 300 << true;
        QTest::newRow("4600") << 4600 << true;
    }
    void downloadEqualsTheWindowsExport() {
        // Catches records lost, shifted or formatted otherwise than the window exports them.
        QFETCH(int, records);
        QFETCH(bool, toFile);
        MeterSim sim(meterHolding(records));
        QVERIFY(sim.start());
        const QString out = xdg->root() + "/records.csv";
        QStringList args{"download", "--port", "3"};
        if (toFile) args << "-o" << out;
        const Run r = run_cli(args, 240000);
        QVERIFY2(r.status == 0, r.err.constData());
        const QByteArray expected = window_export(sim.records());
        QCOMPARE(toFile ? read_file(out) : r.out, expected);
        QCOMPARE(r.err, QByteArray()); // no progress line when stderr is no terminal
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
};

QTEST_MAIN(TstCli)
#include "tst_cli.moc"
