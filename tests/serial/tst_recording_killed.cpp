// A recording program killed with SIGKILL mid-run: every line of its live log is whole and parses.
#include "app/form1.h"
#include "link/live_log.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "support/form_fixture.h"
#include "support/stale_locks.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tessaro;

namespace {

constexpr const char* kChildVariable = "TESSARO_RECORDING_CHILD";

// The recording program: the main window polling the simulated meter with its real timers,
// recording into the file the variable names, until it is killed.
int run_recording_child(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString log = qEnvironmentVariable(kChildVariable);
    test::FormFixture f(false);
    MeterSimOptions o;
    o.link = paths::port_map_entry(1);
    o.liveCount = 1234;
    o.liveRange = 0x41;
    MeterSim sim(o);
    if (!sim.start()) return 3;
    f.form->Combo1->setCurrentIndex(0);
    f.user.save_names.enqueue(log);
    f.form->start_recording();
    if (!f.form->live_log.is_open()) return 4;
    return app.exec();
}

QList<QByteArray> lines_of(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().split('\n');
}

} // namespace

class TstRecordingKilled : public QObject {
    Q_OBJECT

private slots:
    // Catches readings held in a buffer of the program (lost by a kill) and a line cut in half by it.
    void sigkill_leaves_whole_lines() {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("live.csv"));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable), log);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted(30000));

        // Several readings in: the program is mid-run, between two polls or inside one.
        QTRY_VERIFY_WITH_TIMEOUT(lines_of(log).size() >= 8 || child.state() == QProcess::NotRunning, 120000);
        QCOMPARE(child.state(), QProcess::Running);
        const qint64 child_pid = child.processId();
        auto no_lock_left = qScopeGuard([child_pid] { test::remove_locks_of(child_pid); });
        ::kill(static_cast<pid_t>(child_pid), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QList<QByteArray> lines = lines_of(log);
        QVERIFY(lines.size() >= 8);
        QCOMPARE(lines.first() + '\n', live_log_header());
        QVERIFY(lines.last().isEmpty()); // the file ends with a whole line
        const QRegularExpression shape(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d,0\\.1234,123\\.4mA,0,0,not locked\\r$"));
        for (qsizetype i = 1; i + 1 < lines.size(); ++i)
            QVERIFY2(shape.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].constData());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(kChildVariable)) return run_recording_child(argc, argv);
    QApplication app(argc, argv);
    TstRecordingKilled test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording_killed.moc"
