// End-to-end with a screen reader's bridge: the real program on Xvfb with its accessibility bus,
// a reader walking the Ports window over AT-SPI while devices go away and come back.
#include "e2e_session.h"

#include <QStandardPaths>
#include <QTest>

using e2e::Session;
using namespace std::chrono_literals;

namespace {

const QString kBusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
// Debian's AT-SPI binding belongs to the system's Python, whatever else is first on the path.
const QString kPython = QStringLiteral("/usr/bin/python3");

bool python_has_pyatspi() {
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import pyatspi")});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The reader: one command a line, one answer a line.
QByteArray ask(QProcess& reader, const QByteArray& command) {
    reader.write(command + '\n');
    for (QDeadlineTimer d(120s); !d.hasExpired() && !reader.canReadLine();)
        if (!reader.waitForReadyRead(500) && reader.state() != QProcess::Running) break;
    return reader.readLine().trimmed();
}

int cells(const QByteArray& answer) {
    return answer.startsWith("cells ") ? answer.mid(6).toInt() : -1;
}

} // namespace

class TestE2eScreenReader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xdotool", "dbus-daemon"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (tools/scripts/deps.sh installs it)").arg(tool)));
        if (!QFileInfo::exists(kBusLauncher) || !python_has_pyatspi())
            QSKIP("at-spi2-core or python3-pyatspi is not installed (tools/scripts/deps.sh installs them)");
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    }

    void portsWindowReadWhileDevicesChange();
};

// Catches "QAccessibleTable::child: Invalid index" on the program's standard error while a reader
// walks the Ports table, and a table the reader cannot read (no cells, or cells that do not follow
// a device going away and coming back).
void TestE2eScreenReader::portsWindowReadWhileDevicesChange() {
    Session s;
    QVERIFY(s.tmp.isValid());
    QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
    QVERIFY(s.makeHome());

    // A session bus of the test's own, and the accessibility bus on it.
    QProcess bus, a11y_bus;
    auto stop_buses = qScopeGuard([&] {
        e2e::stop(a11y_bus);
        e2e::stop(bus);
    });
    bus.setProcessEnvironment(s.env);
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(bus.waitForStarted(10000));
    for (QDeadlineTimer d(60s); !d.hasExpired() && !bus.canReadLine();) bus.waitForReadyRead(500);
    const QString address = QString::fromUtf8(bus.readLine().trimmed());
    QVERIFY2(!address.isEmpty(), "the session bus told no address");
    s.env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    a11y_bus.setProcessEnvironment(s.env);
    a11y_bus.setStandardErrorFile(QProcess::nullDevice());
    a11y_bus.start(kBusLauncher, {QStringLiteral("--launch-immediately")});
    QVERIFY(a11y_bus.waitForStarted(10000));

    // Ports 1 and 2 are two simulated meters.
    const QString ports = s.path(QStringLiteral("config/tessaro/ports"));
    QVERIFY(QDir().mkpath(ports));
    {
        QFile f(s.path(QStringLiteral("config/tessaro/myfile.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x01\x00", 2));
    }
    QProcess second;
    auto stop_second = qScopeGuard([&] { e2e::stop(second); });
    const auto start_meter = [&](QProcess& sim, int port) {
        sim.setProcessEnvironment(s.env);
        sim.setProcessChannelMode(QProcess::SeparateChannels);
        sim.start(QStringLiteral(METER_SIM_EXE), {QStringLiteral("--link"), ports + QStringLiteral("/com%1").arg(port)});
        return sim.waitForStarted(10000) && sim.waitForReadyRead(30000);
    };
    QVERIFY2(start_meter(s.sim, 1), "the first simulator did not report its device");
    QVERIFY2(start_meter(second, 2), "the second simulator did not report its device");

    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app_env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    s.app.setProcessEnvironment(app_env);
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    const QString app_stderr = QStringLiteral(E2E_ARTIFACTS "/tessaro-screen-reader.stderr.txt");
    s.app.setStandardErrorFile(app_stderr);
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(10000));
    const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(60s));
    QVERIFY2(!splash.isEmpty(), "no splash window");
    s.clickAt(s.geometry(splash).topLeft() + QPoint(100, 100));
    QVERIFY2(!s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(60s)).isEmpty(), "no main window");

    QProcess reader;
    auto stop_reader = qScopeGuard([&] { e2e::stop(reader); });
    reader.setProcessEnvironment(s.env);
    reader.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/screen-reader.stderr.txt"));
    reader.start(kPython, {QStringLiteral(SCREEN_READER_WALK)});
    QVERIFY(reader.waitForStarted(10000));
    QCOMPARE(ask(reader, "open"), QByteArray("opened"));
    QVERIFY2(!s.waitWindow(QStringLiteral("^Ports$"), QDeadlineTimer(60s)).isEmpty(), "no Ports window");

    // The reader walks until the table shows both devices, then again while one goes and comes back.
    const auto walk_until = [&](const std::function<bool(int)>& wanted) {
        for (QDeadlineTimer d(120s); !d.hasExpired();) {
            const int n = cells(ask(reader, "walk"));
            if (n >= 0 && wanted(n)) return n;
            QTest::qWait(300);
        }
        return -1;
    };
    const int both = walk_until([](int n) { return n >= 14; });
    QVERIFY2(both >= 14, "the reader never met the table's cells for both devices");
    const QByteArray counted = ask(reader, "count");
    QVERIFY2(counted.startsWith("children "), counted.constData());
    e2e::stop(second);
    QFile::remove(ports + QStringLiteral("/com2"));
    QVERIFY2(walk_until([&](int n) { return n < both; }) >= 0, "the table did not follow the device going away");
    // A reader that counted the cells before the device went away asks for the gone row's cells.
    QCOMPARE(ask(reader, "stale"), QByteArray("asked ") + counted.mid(9));
    QVERIFY2(start_meter(second, 2), "the second simulator did not start again");
    QCOMPARE(walk_until([&](int n) { return n == both; }), both);
    ask(reader, "quit");

    e2e::stop(s.app);
    QFile err(app_stderr);
    QVERIFY(err.open(QIODevice::ReadOnly));
    const QByteArray printed = err.readAll();
    QVERIFY2(!printed.contains("QAccessibleTable") && !printed.contains("Invalid index"), printed.constData());
}

QTEST_MAIN(TestE2eScreenReader)
#include "tst_e2e_screen_reader.moc"
