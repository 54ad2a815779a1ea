// End-to-end on a high-DPI screen: the real program at scale factor 2 on a 1920x1080 Xvfb, keyboard only.
#include "e2e_session.h"

#include <QImage>
#include <QStandardPaths>
#include <QTest>

using e2e::Session;
using namespace std::chrono_literals;

namespace {

// Pixels of the chart's background on the screen: many while the realtime view shows the chart.
int chart_pixels(const QString& screenshot) {
    const QImage img = QImage(screenshot).convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == qRgb(64, 64, 64);
    return n;
}

} // namespace

class TestE2eDisplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (const QString tool = e2e::missingTool(); !tool.isEmpty()) QSKIP(qPrintable(e2e::missingToolText(tool)));
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    }

    void keyboardOnlyAtScaleTwo();
};

// Catches: a splash that only a mouse passes, a window at scale 2 that does not fit a 1920x1080
// screen, menus the keyboard cannot open, and a program that cannot be left without a mouse.
void TestE2eDisplay::keyboardOnlyAtScaleTwo() {
    Session s;
    QVERIFY(s.tmp.isValid());
    QVERIFY(s.startDisplay(QStringLiteral("1920x1080x24")));
    QVERIFY(s.makeHome());
    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app_env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    s.app.setProcessEnvironment(app_env);
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro-2x.stderr.txt"));
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(tessaro::test::kWaitMs));

    // The splash: Return enters, no mouse.
    const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(60s));
    QVERIFY2(!splash.isEmpty(), "no splash window");
    const QRect sg = s.geometry(splash);
    QCOMPARE(sg.size(), QSize(2 * 803, 2 * 467));
    s.screenshot(QStringLiteral("splash-2x.png"));
    s.focus(splash);
    s.keys({QStringLiteral("Return")});
    const QString main_window = s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(60s));
    QVERIFY2(!main_window.isEmpty(), "no main window after Return on the splash");
    QTRY_VERIFY_WITH_TIMEOUT(s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(0)).isEmpty(), tessaro::test::kWaitMs);

    // The window fits the screen (its client area scrolls).
    const QRect mg = s.geometry(main_window);
    QVERIFY2(QRect(0, 0, 1920, 1080).contains(mg),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(mg.x()).arg(mg.y()).arg(mg.width()).arg(mg.height())));

    // Realtime view: the chart is on screen. File(F) -> History by Alt+F: the chart goes.
    const QString live = s.path(QStringLiteral("out/live.png"));
    int chart_before = 0;
    for (QDeadlineTimer d(60s); chart_before <= 100000 && !d.hasExpired(); QTest::qWait(300)) {
        s.tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), live});
        chart_before = chart_pixels(live);
    }
    QFile::copy(live, QStringLiteral(E2E_ARTIFACTS "/realtime-2x.png"));
    QVERIFY2(chart_before > 100000, qPrintable(QString::number(chart_before)));
    s.focus(main_window);
    int windows = s.programWindows();
    s.keys({QStringLiteral("alt+f")});
    QVERIFY2(s.waitMoreWindows(windows, QDeadlineTimer(60s)), "Alt+F opened no menu");
    s.keys({QStringLiteral("Down"), QStringLiteral("Return")});
    const QString history = s.path(QStringLiteral("out/history.png"));
    bool gone = false;
    for (QDeadlineTimer d(60s); !gone && !d.hasExpired(); QTest::qWait(300)) {
        s.tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), history});
        gone = chart_pixels(history) < chart_before / 10;
    }
    QFile::copy(history, QStringLiteral(E2E_ARTIFACTS "/history-2x.png"));
    QVERIFY2(gone, "Alt+F, Down, Return did not switch to the history view");

    // Alt+F, Up, Return: Exit, the program ends.
    windows = s.programWindows();
    s.keys({QStringLiteral("alt+f")});
    QVERIFY2(s.waitMoreWindows(windows, QDeadlineTimer(60s)), "Alt+F opened no menu");
    s.keys({QStringLiteral("Up"), QStringLiteral("Return")});
    QVERIFY2(s.app.waitForFinished(tessaro::test::kWaitMs), "the program did not end by Alt+F, Up, Return");
    QCOMPARE(s.app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(s.app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestE2eDisplay)
#include "tst_e2e_display.moc"
