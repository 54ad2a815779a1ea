// End-to-end under a real window manager: openbox on Xvfb frames the real program's main window,
// which must stand with its outer frame at the top of the screen, centred and wholly on it.
#include "e2e_session.h"

#include <QStandardPaths>
#include <QTest>

using e2e::Session;
using namespace std::chrono_literals;

namespace {

// The window's frame extents as the window manager set them (left, right, top, bottom).
QMargins frame_extents(Session& s, const QString& window) {
    const QByteArray out = s.tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_FRAME_EXTENTS")});
    const int eq = out.indexOf('=');
    if (eq < 0) return {};
    const QList<QByteArray> v = out.mid(eq + 1).trimmed().split(',');
    if (v.size() != 4) return {};
    return QMargins(v[0].trimmed().toInt(), v[2].trimmed().toInt(), v[1].trimmed().toInt(), v[3].trimmed().toInt());
}

// The client window's rectangle on the screen.
QRect client_rect(Session& s, const QString& window) {
    const QByteArray out = s.tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    QMap<QByteArray, int> v;
    for (const QByteArray& line : out.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0) v[line.left(colon).trimmed()] = line.mid(colon + 1).trimmed().toInt();
    }
    return QRect(v.value("Absolute upper-left X"), v.value("Absolute upper-left Y"), v.value("Width"), v.value("Height"));
}

QString text(const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

} // namespace

class TestE2eWindowManager : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (const char* tool : {"Xvfb", "xdotool", "xprop", "xwininfo", "openbox"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (tools/scripts/deps.sh installs it)").arg(tool)));
        QVERIFY2(QFileInfo::exists(QStringLiteral(TESSARO_EXE)), TESSARO_EXE);
    }

    void frameOnTheScreen_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("scale");
        QTest::newRow("1920x1080, scale 1") << "1920x1080x24" << "1";
        QTest::newRow("1280x1024, scale 1") << "1280x1024x24" << "1";
        QTest::newRow("1920x1080, scale 2") << "1920x1080x24" << "2";
        QTest::newRow("1280x1024, scale 2") << "1280x1024x24" << "2";
    }
    void frameOnTheScreen();
};

// Catches a window placed by its client area (the title bar above the screen) or sized without
// its frame (the bottom past the screen at scale 2) under a window manager that does not correct it.
void TestE2eWindowManager::frameOnTheScreen() {
    QFETCH(QString, screen);
    QFETCH(QString, scale);
    Session s;
    QVERIFY(s.tmp.isValid());
    QVERIFY(s.startDisplay(screen));
    QVERIFY(s.makeHome());
    QProcess wm;
    auto stop_wm = qScopeGuard([&] {
        e2e::stop(s.app);
        e2e::stop(wm);
    });
    wm.setProcessEnvironment(s.env);
    const auto wm_ready = [&] {
        return s.tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains("window id");
    };
    // On a busy machine openbox was seen once not to take a fresh display: a second start then does.
    QByteArray wm_errors;
    for (int attempt = 0; attempt < 2 && !wm_ready(); ++attempt) {
        e2e::stop(wm);
        wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QVERIFY(wm.waitForStarted(5000));
        if (QTest::qWaitFor(wm_ready, 30000)) break;
        wm_errors += wm.readAllStandardError();
    }
    QVERIFY2(wm_ready(), qPrintable("openbox did not take the display: " + QString::fromLocal8Bit(wm_errors)));

    QProcessEnvironment app_env = s.env;
    app_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app_env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    s.app.setProcessEnvironment(app_env);
    s.app.start(QStringLiteral(TESSARO_EXE), {});
    QVERIFY(s.app.waitForStarted(5000));
    const QString splash = s.waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(30s));
    QVERIFY2(!splash.isEmpty(), "no splash window");
    s.focus(splash);
    s.keys({QStringLiteral("Return")});
    const QString main_window = s.waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(30s));
    QVERIFY2(!main_window.isEmpty(), "no main window after Return on the splash");

    const QStringList size = screen.split(QLatin1Char('x'));
    const QRect screen_rect(0, 0, size[0].toInt(), size[1].toInt());
    // The frame as it settles: framed by openbox, with the top at 0, centred, inside the screen.
    QRect frame;
    const auto placed = [&] {
        const QMargins m = frame_extents(s, main_window);
        if (m.isNull()) return false;
        frame = client_rect(s, main_window).marginsAdded(m);
        const int centre_gap = std::abs((frame.left() - screen_rect.left()) - (screen_rect.right() - frame.right()));
        return frame.top() == 0 && screen_rect.contains(frame) && centre_gap <= 1;
    };
    QVERIFY2(QTest::qWaitFor(placed, 20000), qPrintable(QStringLiteral("frame %1 on %2").arg(text(frame), text(screen_rect))));
    // It stays there.
    QTest::qWait(500);
    QVERIFY2(placed(), qPrintable(QStringLiteral("frame %1 moved on %2").arg(text(frame), text(screen_rect))));
    s.screenshot(QStringLiteral("openbox-%1-scale%2.png").arg(screen, scale));
}

QTEST_GUILESS_MAIN(TestE2eWindowManager)
#include "tst_e2e_window_manager.moc"
