// End-to-end with a slow meter: the real program on Xvfb, the simulator answering 900 ms late.
#include "e2e_session.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace {

using namespace std::chrono_literals;
using e2e::Session;
using e2e::Twips;

constexpr int kClientWidth = 1016;
constexpr int kClientHeight = 692;
const QRgb kLiveCurve = qRgb(0, 192, 0);
constexpr Twips kStateLine{12600, 7080, 1695, 270}; // Text40

// The rightmost column of the box that differs from its left edge's colour (the text's end).
int inkEnd(const QImage& box) {
    if (box.width() < 5 || box.height() < 5) return -1;
    const QRgb background = box.pixel(1, box.height() / 2);
    int end = -1;
    for (int y = 2; y < box.height() - 2; ++y)
        for (int x = 2; x < box.width() - 2; ++x)
            if (box.pixel(x, y) != background) end = std::max(end, x);
    return end;
}

// A drawn state line: its light box with text on it (before the window has painted, the grab
// shows whatever was on the screen there).
bool showsText(const QImage& box) {
    return inkEnd(box) > 0 && qGray(box.pixel(1, box.height() / 2)) > 200;
}

bool showsLiveCurve(const QString& snapshot) {
    const QImage img(snapshot);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == kLiveCurve) return true;
    return false;
}

} // namespace

class TestE2eSlowMeter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (const QString tool = e2e::missingTool(); !tool.isEmpty()) QSKIP(qPrintable(e2e::missingToolText(tool)));
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
        QVERIFY2(QFileInfo::exists(QStringLiteral(METER_SIM_EXE)), METER_SIM_EXE);
    }

    void stateLineAndCurveAt900ms();
};

// Catches a state line left at "Connection Fail" while a meter 900 ms late answers, and its replies
// (later than the 500 ms poll) thrown away so that no reading reaches the curve.
void TestE2eSlowMeter::stateLineAndCurveAt900ms() {
    Session s;
    QVERIFY(s.tmp.isValid());
    QVERIFY(s.startDisplay(QStringLiteral("1280x1024x24")));
    QVERIFY(s.makeHome());
    QVERIFY(QDir().mkpath(s.path(QStringLiteral("config/tessaro/ports"))));
    {
        QFile f(s.path(QStringLiteral("config/tessaro/myfile.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x01\x00", 2)); // port 1
    }

    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    s.app.setProcessEnvironment(app_env);
    QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
    s.app.setStandardErrorFile(QStringLiteral(E2E_ARTIFACTS "/tessaro-slow.stderr.txt"));
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(tessaro::test::kWaitMs));
    QVERIFY2(!s.openMainWindow(kClientWidth, kClientHeight).isEmpty(), "no main window after the splash click");

    // No meter yet: the state line reads "Connection Fail", for as long as it takes to see it drawn.
    QImage failed;
    for (QDeadlineTimer d(60s); !showsText(failed) && !d.hasExpired(); QTest::qWait(200)) failed = s.grab(kStateLine);
    QVERIFY2(showsText(failed), "no text on the state line");
    failed.save(QStringLiteral(E2E_ARTIFACTS "/state-connection-fail.png"));

    // The meter is plugged in now, answering 900 ms late.
    s.sim.setProcessEnvironment(s.env);
    s.sim.start(QStringLiteral(METER_SIM_EXE), {QStringLiteral("--link"), s.path(QStringLiteral("config/tessaro/ports/com1")),
                                                QStringLiteral("--latency"), QStringLiteral("900"), QStringLiteral("--log")});
    QVERIFY(s.sim.waitForStarted(tessaro::test::kWaitMs));

    // "Connect Success" is as long as "Connection Fail" and looks different; "Connect Fail" is shorter.
    QImage state = failed;
    for (QDeadlineTimer d(120s);
         (!showsText(state) || state == failed || inkEnd(state) < inkEnd(failed) * 9 / 10) && !d.hasExpired();
         QTest::qWait(300))
        state = s.grab(kStateLine);
    state.save(QStringLiteral(E2E_ARTIFACTS "/state-slow-meter.png"));
    s.pumpSimLog();
    QVERIFY2(state != failed, "the state line stayed at \"Connection Fail\"");
    QVERIFY2(inkEnd(state) >= inkEnd(failed) * 9 / 10, "the state line reads \"Connect Fail\"");

    // Live readings reach the curve.
    const QString snapshot = s.path(QStringLiteral("runtime/tessaro/555.bmp"));
    bool curve = false;
    for (QDeadlineTimer d(120s); !curve && !d.hasExpired(); QTest::qWait(300)) curve = showsLiveCurve(snapshot);
    s.screenshot(QStringLiteral("slow-meter.png"));
    QVERIFY2(curve, "no live reading reached the curve");
    s.pumpSimLog();
    QVERIFY2(s.sim_log.contains("7000 ("), "the meter was never asked for a live reading");
}

QTEST_GUILESS_MAIN(TestE2eSlowMeter)
#include "tst_e2e_slow_meter.moc"
