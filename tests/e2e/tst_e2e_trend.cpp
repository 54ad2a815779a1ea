// End-to-end: a recording opened through the File menu of the real program on Xvfb, and at start-up.
#include "e2e_session.h"
#include "support/recording_fixture.h"

#include <QImage>
#include <QStandardPaths>

using e2e::Session;
using namespace std::chrono_literals;

namespace {

const QRgb kMeanLine = qRgb(11, 61, 145);

// Whether the screenshot shows the mean line's colour inside the window's rectangle.
bool shows_line(const QString& shot, const QRect& window) {
    const QImage img(shot);
    for (int y = window.top(); y <= window.bottom() && y < img.height(); ++y)
        for (int x = window.left(); x <= window.right() && x < img.width(); ++x)
            if (img.pixel(x, y) == kMeanLine) return true;
    return false;
}

} // namespace

class TestE2eTrend : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xdotool", "import"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (tools/scripts/deps.sh installs it)").arg(tool)));
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    }

    void openThroughTheFileMenu() {
        // Catches an Open recording item that shows no trend window, or one that takes the main window away.
        Session s;
        QVERIFY(s.tmp.isValid());
        QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
        QVERIFY(s.makeHome());
        const QString log = s.path(QStringLiteral("out/bench.csv"));
        QVERIFY(tessaro::test::write_bytes(log, tessaro::test::live_log_bytes(tessaro::test::steady_readings(
                                                    tessaro::test::fixture_start(), 3600, 1000, [](int i) { return 300 + i % 400; }))));
        QProcessEnvironment env = s.env;
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        s.app.setProcessEnvironment(env);
        QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
        s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro-menu.stderr.txt"));
        s.app.start(QStringLiteral(TESSARO_EXE), {});
        QVERIFY(s.app.waitForStarted(5000));
        const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(30s));
        QVERIFY2(!splash.isEmpty(), qPrintable(QStringLiteral("no splash window; the program %1 (status %2)")
                                                   .arg(s.app.state() == QProcess::Running ? QStringLiteral("runs") : QStringLiteral("ended"))
                                                   .arg(s.app.exitCode())));
        s.clickAt(s.geometry(splash).topLeft() + QPoint(100, 100));
        const QString main_window = s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(30s));
        QVERIFY2(!main_window.isEmpty(), "no main window");
        QTRY_VERIFY_WITH_TIMEOUT(s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(0)).isEmpty(), 10000);

        // File menu (its title at the menu bar's left end), then from the bottom: Exit, Open recording….
        QString dialog;
        for (QDeadlineTimer d(60s); dialog.isEmpty() && !d.hasExpired();) {
            s.focus(main_window);
            const QRect mg = s.geometry(main_window);
            s.clickAt(mg.topLeft() + QPoint(20, 10));
            QTest::qWait(500);
            s.keys({QStringLiteral("Up"), QStringLiteral("Up"), QStringLiteral("Return")});
            dialog = s.waitWindow(QStringLiteral("^Open"), QDeadlineTimer(5s));
            if (dialog.isEmpty()) s.keys({QStringLiteral("Escape"), QStringLiteral("Escape")});
        }
        QVERIFY2(!dialog.isEmpty(), "no open dialog from File, Open recording…");
        s.focus(dialog);
        s.keys({QStringLiteral("ctrl+a")});
        s.type(log);
        s.keys({QStringLiteral("Return")});
        const QString trend = s.waitWindow(QStringLiteral("^bench.csv.*Trend$"), QDeadlineTimer(60s));
        QVERIFY2(!trend.isEmpty(), "no trend window");
        const QRect tg = s.geometry(trend);
        const QString shot = s.path(QStringLiteral("trend.png"));
        bool line = false;
        for (QDeadlineTimer d(30s); !line && !d.hasExpired(); QTest::qWait(500)) {
            s.focus(trend);
            s.tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), shot});
            line = shows_line(shot, tg);
        }
        s.screenshot(QStringLiteral("trend.png"));
        QVERIFY2(line, "the trend window shows no curve");
        QVERIFY(!s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(10s)).isEmpty());
        QCOMPARE(s.app.state(), QProcess::Running);
    }

    void openedAtStartUp() {
        // Catches --recording being ignored or keeping the splash and main window from coming.
        Session s;
        QVERIFY(s.tmp.isValid());
        QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
        QVERIFY(s.makeHome());
        const QString log = s.path(QStringLiteral("out/night.csv"));
        QVERIFY(tessaro::test::write_bytes(log, tessaro::test::live_log_bytes(tessaro::test::steady_readings(
                                                    tessaro::test::fixture_start(), 600, 500, [](int i) { return 100 + i; }))));
        QProcessEnvironment env = s.env;
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        s.app.setProcessEnvironment(env);
        QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
        s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro-recording.stderr.txt"));
        s.app.start(QStringLiteral(TESSARO_EXE), {QStringLiteral("--recording"), log});
        QVERIFY(s.app.waitForStarted(5000));
        QVERIFY2(!s.waitWindow(QStringLiteral("^night.csv.*Trend$"), QDeadlineTimer(30s)).isEmpty(), "no trend window");
        const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(30s));
        QVERIFY2(!splash.isEmpty(), "no splash window beside the trend");
        s.clickAt(s.geometry(splash).topLeft() + QPoint(100, 100));
        QVERIFY2(!s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(30s)).isEmpty(), "no main window");
    }
};

QTEST_MAIN(TestE2eTrend)
#include "tst_e2e_trend.moc"
