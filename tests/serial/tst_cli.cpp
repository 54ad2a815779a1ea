// tessaro-cli against the meter simulator on pseudo-terminals: the port list, exit statuses.
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/pty_pair.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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
};

QTEST_MAIN(TstCli)
#include "tst_cli.moc"
