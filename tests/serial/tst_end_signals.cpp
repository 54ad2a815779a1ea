// End signals in the program: SIGTERM, SIGINT and SIGHUP reach the event loop through the pipe and run
// the exit path there, so the port is closed and its lock file removed.
#include "app/end_signals.h"
#include "link_fixture.h"

#include <QDir>
#include <QSignalSpy>

#include <csignal>

#include <unistd.h>

using namespace tessaro;
using namespace tessaro::test;

namespace {

// The serial lock file holding this process's id, if any (the folder depends on the system).
QString own_lock_file() {
    const QByteArray pid = QByteArray::number(::getpid());
    for (const char* dir : {"/run/lock", "/var/lock", "/tmp"}) {
        for (const QFileInfo& f : QDir(QString::fromLatin1(dir)).entryInfoList({QStringLiteral("LCK..*")}, QDir::Files)) {
            QFile lock(f.filePath());
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid) return f.filePath();
        }
    }
    return {};
}

} // namespace

class TstEndSignals : public QObject {
    Q_OBJECT
private slots:
    void endsLikeExit_data() {
        QTest::addColumn<int>("signal_number");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void endsLikeExit() {
        // Catches an end signal that kills the program with the port open and its lock file left,
        // or one handled in the handler itself instead of on the event loop.
        QFETCH(int, signal_number);
        LinkFixture fx;
        QVERIFY(fx.startSim({}));
        QVERIFY(fx.connect());
        const QString lock = own_lock_file();
        if (lock.isEmpty()) QSKIP("the serial layer keeps no lock file on this system");

        EndSignals signals_in;
        QVERIFY(signals_in.ok());
        QObject::connect(&signals_in, &EndSignals::received, fx.f.form.get(), &Form1::exit_program);
        QSignalSpy received(&signals_in, &EndSignals::received);
        QVERIFY(::raise(signal_number) == 0);
        // Nothing happens inside the handler: the window still runs until the loop sees the pipe.
        QVERIFY(!fx.form().quitting);
        // Polled, not waited on in an event loop of its own: the exit path ends every loop for good.
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, tessaro::test::kWaitMs);
        QCOMPARE(received.at(0).at(0).toInt(), signal_number);
        QVERIFY(fx.form().quitting);
        QVERIFY(!fx.form().MSComm1->PortOpen());
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    }

    void signalsBeforeTheLoopWait() {
        // Catches signals lost when they arrive before the event loop runs, or reported twice.
        EndSignals signals_in;
        QVERIFY(signals_in.ok());
        QSignalSpy received(&signals_in, &EndSignals::received);
        QVERIFY(::raise(SIGHUP) == 0);
        QVERIFY(::raise(SIGTERM) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, tessaro::test::kWaitMs);
        // Both bytes were read from the pipe: a third report would come from the reads already made.
        for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
        QCOMPARE(received.count(), 2);
    }

    void oneInstanceAtATime() {
        // Catches a second instance taking over the pipe of the first.
        EndSignals first;
        EndSignals second;
        QVERIFY(first.ok());
        QVERIFY(!second.ok());
    }
};

QTEST_MAIN(TstEndSignals)
#include "tst_end_signals.moc"
