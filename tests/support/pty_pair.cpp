#include "pty_pair.h"

#include "platform/paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::test {

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slave_path_ = QString::fromLocal8Bit(ptsname(master_));
    slave_keep_ = ::open(slave_path_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_keep_ >= 0) {
        termios t{};
        tcgetattr(slave_keep_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_keep_, TCSANOW, &t);
    }
}

PtyPair::~PtyPair() {
    if (slave_keep_ >= 0) ::close(slave_keep_);
    if (master_ >= 0) ::close(master_);
}

void PtyPair::write(const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0 && master_ >= 0) {
        const ssize_t n = ::write(master_, p, static_cast<size_t>(left));
        if (n > 0) {
            p += n;
            left -= n;
        } else if (errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

QByteArray PtyPair::readAvailable() {
    QByteArray out;
    char buf[4096];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, n);
    }
    return out;
}

QByteArray PtyPair::readAtLeast(int n, int timeout_ms) {
    QByteArray out;
    QDeadlineTimer deadline(timeout_ms);
    while (out.size() < n && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        out += readAvailable();
        if (out.size() < n) QThread::msleep(1);
    }
    return out;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    if (slave_keep_ >= 0) ::close(slave_keep_);
    slave_keep_ = -1;
}

TempXdg::TempXdg() {
    const QString r = dir_.path();
    for (const char* sub : {"config", "cache", "runtime", "home"}) QDir(r).mkpath(sub);
    QFile::setPermissions(r + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", (r + "/config").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (r + "/cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (r + "/runtime").toLocal8Bit());
    qputenv("HOME", (r + "/home").toLocal8Bit());
}

bool TempXdg::mapPort(int n, const QString& target) const {
    const QString entry = paths::port_map_entry(n);
    QDir().mkpath(QFileInfo(entry).absolutePath());
    QFile::remove(entry);
    return QFile::link(target, entry);
}

void TempXdg::unmapPort(int n) const { QFile::remove(paths::port_map_entry(n)); }

} // namespace tessaro::test
