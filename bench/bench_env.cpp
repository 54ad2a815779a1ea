// The benchmark's surroundings: temporary XDG folders, a scripted operator, waits and medians.
#include "bench_env.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace tessaro::bench {

namespace {
QString memory_folder() {
    // /dev/shm is tmpfs on Linux, like $XDG_RUNTIME_DIR on a desktop session.
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/tessaro-bench-XXXXXX")
                                                     : QDir::tempPath() + QStringLiteral("/tessaro-bench-rt-XXXXXX");
}
} // namespace

BenchEnv::BenchEnv() : runtime_(memory_folder()) {
    if (!ok()) return;
    const QString r = disk_.path();
    QDir().mkpath(r + QStringLiteral("/config"));
    QDir().mkpath(r + QStringLiteral("/cache"));
    QFile::setPermissions(runtime_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", r.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (r + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (r + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
}

Answer BenchUser::message(QWidget*, const MessageRequest& request) {
    ++messages;
    last_message = request.text;
    std::fprintf(stderr, "tessaro-bench: message box: %s\n", qPrintable(request.text));
    return Answer::Ok;
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms) {
    const QDeadlineTimer deadline(timeout_ms);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        // The link's timers tick every 60 ms at most, so the deadline is looked at often enough.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double median(std::vector<double> samples) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

} // namespace tessaro::bench
