// The real program's command line and end signals: Qt's options accepted, others refused with a
// usage line, the help naming the configuration folder in use, and SIGTERM, SIGINT and SIGHUP
// ending it through its exit path (status 0) rather than killing it; a file size limit does not kill it.
#include "support/stale_locks.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

namespace {

// True once process pid catches SIGTERM: its handlers are in place and its event loop will see it.
bool catches_term(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

} // namespace

class TstProgramOptions : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

    QProcessEnvironment environment(bool with_config_home = true) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_.path());
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        if (with_config_home) env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.path() + "/cfg");
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home_.path() + "/cache");
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path() + "/run");
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
    void start(QProcess& p, const QStringList& args, bool with_config_home = true) const {
        p.setProcessEnvironment(environment(with_config_home));
        p.start(QStringLiteral(TESSARO_EXE), args);
        QVERIFY2(p.waitForStarted(30000), qPrintable(p.errorString()));
    }
    static void stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        const qint64 pid = p.processId();
        p.kill();
        p.waitForFinished(30000);
        tessaro::test::remove_locks_of(pid);
    }

private slots:
    void initTestCase() { QVERIFY(home_.isValid()); }

    void acceptedAndEndedBySignal_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signal_number");
        QTest::newRow("no options, SIGTERM") << QStringList{} << SIGTERM;
        QTest::newRow("-platform offscreen -reverse, SIGINT") << QStringList{"-platform", "offscreen", "-reverse"} << SIGINT;
        QTest::newRow("--style fusion --, SIGHUP") << QStringList{"--style", "fusion", "--"} << SIGHUP;
        QTest::newRow("-style=fusion -display :0 -name t, SIGTERM")
            << QStringList{"-style=fusion", "-display", ":0", "-name", "t"} << SIGTERM;
    }
    void acceptedAndEndedBySignal() {
        // Catches Qt's own options or "--" refused, and an end signal that kills the program (no
        // exit path: port and lock file left behind) instead of ending it as Exit does.
        QFETCH(QStringList, args);
        QFETCH(int, signal_number);
        QProcess p;
        start(p, args);
        const auto guard = qScopeGuard([&p] { stop(p); });
        QTRY_VERIFY_WITH_TIMEOUT(catches_term(p.processId()) || p.state() == QProcess::NotRunning, 60000);
        QVERIFY2(p.state() == QProcess::Running, p.readAllStandardError().constData());
        QVERIFY(::kill(static_cast<pid_t>(p.processId()), signal_number) == 0);
        QVERIFY(p.waitForFinished(60000));
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("Usage"), err.constData());
    }

    void survivesAFileSizeLimit() {
        // Catches a program killed by SIGXFSZ (a write past `ulimit -f`) instead of getting EFBIG and
        // reporting it as it reports a full disk. The limit is set as a shell sets it: default action.
        QProcess p;
        p.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        start(p, {});
        const auto guard = qScopeGuard([&p] { stop(p); });
        QTRY_VERIFY_WITH_TIMEOUT(catches_term(p.processId()) || p.state() == QProcess::NotRunning, 60000);
        QVERIFY2(p.state() == QProcess::Running, p.readAllStandardError().constData());
        QVERIFY(::kill(static_cast<pid_t>(p.processId()), SIGXFSZ) == 0);
        QVERIFY(::kill(static_cast<pid_t>(p.processId()), SIGTERM) == 0);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void refused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{"--bogus"};
        QTest::newRow("file argument") << QStringList{"records.txt"};
        QTest::newRow("argument after --") << QStringList{"--", "-reverse"};
        QTest::newRow("Qt option without its value") << QStringList{"-reverse", "-platform"};
    }
    void refused() {
        // Catches a stray argument ignored or refused without saying how to call the program.
        QFETCH(QStringList, args);
        QProcess p;
        start(p, args);
        const auto guard = qScopeGuard([&p] { stop(p); });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.startsWith("tessaro: ") && err.contains("\nUsage: tessaro "), err.constData());
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void helpNamesTheConfigurationFolder_data() {
        QTest::addColumn<bool>("with_config_home");
        QTest::addColumn<QString>("folder");
        QTest::newRow("XDG_CONFIG_HOME set") << true << home_.path() + "/cfg/tessaro";
        QTest::newRow("XDG_CONFIG_HOME unset") << false << home_.path() + "/.config/tessaro";
    }
    void helpNamesTheConfigurationFolder() {
        // Catches a help that names ~/.config whatever XDG_CONFIG_HOME says.
        QFETCH(bool, with_config_home);
        QFETCH(QString, folder);
        QProcess p;
        start(p, {QStringLiteral("--help")}, with_config_home);
        const auto guard = qScopeGuard([&p] { stop(p); });
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        QVERIFY2(out.startsWith(QLatin1String("Usage: tessaro")), qPrintable(out));
        QVERIFY2(out.contains(folder + "):"), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TstProgramOptions)
#include "tst_program_options.moc"
