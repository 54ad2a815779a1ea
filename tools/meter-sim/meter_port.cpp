// Pseudo-terminal and symlink handling of the meter simulator.
#include "meter_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro {

namespace {

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Replaces link with a symlink to target in one step: the path is never missing.
bool replace_link(const QByteArray& path, const QByteArray& target) {
    const QByteArray tmp = path + ".tmp-" + QByteArray::number(static_cast<qlonglong>(::getpid()));
    ::unlink(tmp.constData());
    if (::symlink(target.constData(), tmp.constData()) != 0 || ::rename(tmp.constData(), path.constData()) != 0) {
        const int why = errno;
        ::unlink(tmp.constData());
        errno = why;
        return false;
    }
    return true;
}
} // namespace

MeterPort::~MeterPort() {
    close();
}

bool MeterPort::open(QString& error) {
    close();
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(errnoText());
        return false;
    }
    const char* name = nullptr;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || (name = ptsname(master_)) == nullptr) {
        error = QStringLiteral("cannot set up the pseudo-terminal: %1").arg(errnoText());
        close();
        return false;
    }
    slave_path_ = QString::fromLocal8Bit(name);
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        error = QStringLiteral("cannot open %1: %2").arg(slave_path_, errnoText());
        close();
        return false;
    }
    termios t{};
    if (tcgetattr(slave_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B4800);
        cfsetospeed(&t, B4800);
        tcsetattr(slave_, TCSANOW, &t);
    }
    return true;
}

void MeterPort::close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = -1;
    master_ = -1;
}

QByteArray MeterPort::read(bool& hungUp) {
    hungUp = false;
    QByteArray out;
    char buf[512];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) hungUp = true;
        break;
    }
    return out;
}

qsizetype MeterPort::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}

bool MeterPort::pointLink(const QString& link, QString& error) {
    const QFileInfo info(link);
    if (!QDir().mkpath(info.absolutePath())) {
        error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = QStringLiteral("%1 exists and is not a symbolic link; not replacing it").arg(link);
        return false;
    }
    if (!replace_link(path, QFile::encodeName(slave_path_))) {
        error = QStringLiteral("cannot link %1 to %2: %3").arg(link, slave_path_, errnoText());
        return false;
    }
    link_ = QFile::decodeName(path);
    link_target_ = slave_path_;
    return true;
}

void MeterPort::dangleLink() {
    if (link_.isEmpty()) return;
    const QByteArray path = QFile::encodeName(link_);
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n <= 0 || QFile::decodeName(QByteArray(target, n)) != link_target_) return; // no longer ours
    const QString gone = link_target_ + QStringLiteral(" (unplugged)");
    if (replace_link(path, QFile::encodeName(gone))) link_target_ = gone;
}

void MeterPort::removeLink() {
    if (link_.isEmpty()) return;
    const QByteArray path = QFile::encodeName(link_);
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target - 1);
    if (n > 0 && QFile::decodeName(QByteArray(target, n)) == link_target_) ::unlink(path.constData());
    link_.clear();
    link_target_.clear();
}

} // namespace tessaro
