// The end-to-end tests' session: a private Xvfb and home, the program and helper tools on that display.
#pragma once

#include "support/generous_wait.h"
#include "support/stale_locks.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace e2e {

using namespace std::chrono_literals;

constexpr int kTwipsPerPixel = 15;

// Control rectangles of the designed client area in twips (left, top, width, height).
struct Twips {
    int left, top, width, height;
};

// The first of the display tools the scenarios drive that is not installed; empty when all are.
inline QString missingTool() {
    for (const char* tool : {"Xvfb", "xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) return QString::fromLatin1(tool);
    return {};
}
inline QString missingToolText(const QString& tool) {
    return QStringLiteral("%1 is not installed (tools/scripts/deps.sh installs it)").arg(tool);
}

// Sends SIGTERM, then SIGKILL, and waits: nothing outlives the scenario.
void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning) return;
    const qint64 pid = p.processId();
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
        tessaro::test::remove_locks_of(pid);
    }
}

class Session {
public:
    QTemporaryDir tmp;
    QString display;
    QProcess xvfb, sim, app;
    QByteArray sim_log;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QPoint client; // the client area's origin on the screen

    QStringList saved; // reports written, kept as artefacts

    ~Session() {
        for (const QString& f : saved) {
            QFile::remove(QStringLiteral(E2E_ARTIFACTS "/") + QFileInfo(f).fileName());
            QFile::copy(f, QStringLiteral(E2E_ARTIFACTS "/") + QFileInfo(f).fileName());
        }
        stop(app);
        stop(sim);
        stop(xvfb);
    }

    QString path(const QString& rel) const { return tmp.filePath(rel); }

    // A free display of the given screen ("1280x1024x24"): Xvfb picks a free number itself and tells
    // it on its standard output, once it holds that display's socket, so a number another server
    // holds is never taken for ours (guessing a number and asking whether it answers could reach the
    // other server). The display must answer before a scenario uses it.
    bool startDisplay(const QString& screen) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (startXvfb(screen)) return true;
            stop(xvfb);
        }
        return false;
    }
    bool startXvfb(const QString& screen) {
        xvfb.setProcessChannelMode(QProcess::SeparateChannels);
        xvfb.setStandardErrorFile(QProcess::nullDevice());
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp")});
        if (!xvfb.waitForStarted(tessaro::test::kWaitMs)) return false;
        QByteArray told;
        for (QDeadlineTimer d(60s); !d.hasExpired() && !told.contains('\n') && xvfb.state() == QProcess::Running;)
            if (xvfb.waitForReadyRead(200)) told += xvfb.readAllStandardOutput();
        bool ok = false;
        const int number = told.trimmed().toInt(&ok);
        if (!ok) return false;
        display = QLatin1Char(':') + QString::number(number);
        env.insert(QStringLiteral("DISPLAY"), display);
        for (QDeadlineTimer d(60s); !d.hasExpired() && xvfb.state() == QProcess::Running; QTest::qWait(100))
            if (!xdo({QStringLiteral("getdisplaygeometry")}).trimmed().isEmpty())
                return xvfb.state() == QProcess::Running;
        return false;
    }

    // A private home: config, runtime, cache and save folders all inside the temp folder.
    bool makeHome() {
        for (const char* dir : {"home", "config", "runtime", "cache", "data", "out"})
            if (!QDir(tmp.path()).mkpath(QLatin1String(dir))) return false;
        QFile::setPermissions(path(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.remove(QStringLiteral("SESSION_MANAGER"));
        return true;
    }

    // Runs a helper tool (xdotool, import, ...) on our display; returns its stdout.
    QByteArray tool(const QString& program, const QStringList& args, int timeout_ms = 30000) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(timeout_ms)) {
            stop(p);
            return {};
        }
        return p.readAllStandardOutput();
    }
    QByteArray xdo(const QStringList& args) { return tool(QStringLiteral("xdotool"), args); }

    // The first window whose name matches the pattern, polled until the deadline (looked for at
    // least once, so an expired deadline asks whether it is there now).
    QString waitWindow(const QString& pattern, QDeadlineTimer deadline) {
        do {
            const QByteArray out =
                xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern});
            const QList<QByteArray> ids = out.trimmed().split('\n');
            if (!ids.isEmpty() && !ids.first().isEmpty()) return QString::fromLatin1(ids.first());
            if (app.state() == QProcess::NotRunning || deadline.hasExpired()) return {};
            QTest::qWait(200);
        } while (true);
    }

    // The program's visible windows now (its menus pop up as windows of their own).
    int programWindows() {
        const QByteArray out = xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                    QStringLiteral("--classname"), QStringLiteral("tessaro")});
        return static_cast<int>(out.trimmed().split('\n').size() - (out.trimmed().isEmpty() ? 1 : 0));
    }
    // Waits until the program shows more windows than `before` (a menu has opened), polled.
    bool waitMoreWindows(int before, QDeadlineTimer deadline) {
        while (!deadline.hasExpired()) {
            if (programWindows() > before) return true;
            if (app.state() == QProcess::NotRunning) return false;
            QTest::qWait(100);
        }
        return false;
    }

    // Clicks through the splash and finds the main window; sets `client`. Empty when it never came.
    QString openMainWindow(int client_width, int client_height) {
        const QString splash = waitWindow(QStringLiteral("^Form2$"), QDeadlineTimer(60s));
        if (splash.isEmpty()) return {};
        clickAt(geometry(splash).topLeft() + QPoint(100, 100));
        const QString main_window = waitWindow(QStringLiteral("^TessaroV1.0$"), QDeadlineTimer(60s));
        if (main_window.isEmpty()) return {};
        const QRect mg = geometry(main_window);
        if (mg.width() != client_width || mg.height() <= client_height) return {};
        client = QPoint(mg.x(), mg.y() + mg.height() - client_height);
        return main_window;
    }

    // The screen inside a control's rectangle, from a fresh screenshot.
    QImage grab(const Twips& c) {
        const QString file = path(QStringLiteral("grab.png"));
        tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
        const QRect r(client + QPoint(c.left / kTwipsPerPixel, c.top / kTwipsPerPixel),
                      QSize(c.width / kTwipsPerPixel, c.height / kTwipsPerPixel));
        return QImage(file).convertToFormat(QImage::Format_RGB32).copy(r);
    }

    QRect geometry(const QString& window) {
        const QByteArray out = xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
        QMap<QByteArray, int> v;
        for (const QByteArray& line : out.split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0) v[line.left(eq)] = line.mid(eq + 1).toInt();
        }
        return QRect(v.value("X"), v.value("Y"), v.value("WIDTH"), v.value("HEIGHT"));
    }

    void clickAt(QPoint screen) {
        xdo({QStringLiteral("mousemove"), QString::number(screen.x()), QString::number(screen.y()),
             QStringLiteral("click"), QStringLiteral("1")});
    }
    void click(const Twips& c) {
        clickAt(client + QPoint((c.left + c.width / 2) / kTwipsPerPixel, (c.top + c.height / 2) / kTwipsPerPixel));
    }
    void focus(const QString& window) {
        xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
        xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    }
    void keys(const QStringList& k) { xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50")} + k); }
    void type(const QString& text) {
        xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    }

    void screenshot(const QString& name) {
        QDir().mkpath(QStringLiteral(E2E_ARTIFACTS));
        tool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                        QStringLiteral(E2E_ARTIFACTS "/") + name});
    }

    void pumpSimLog() { sim_log += sim.readAllStandardError(); }
};


} // namespace e2e
