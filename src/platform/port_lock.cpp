#include "port_lock.h"

#include "regular_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <variant>


namespace tessaro {
namespace {

// The folders Qt's serial port tries, in its order, and the UUCP ones.
const char* const kLockFolders[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                    "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};

// A lock file holds a process id, a program and a host name: a few lines.
constexpr qint64 kMaxLockFileBytes = 1024;

bool process_lives(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QString process_name(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// The file name of the program the process runs; empty where it may not be seen (another user's).
QString executable_name(qint64 pid) {
    return QFileInfo(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget()).fileName();
}

} // namespace

QString lock_file_name(const QString& device) {
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

DeviceLock read_device_lock(const QString& device) {
    DeviceLock lock;
    const QString name = lock_file_name(device);
    QStringList seen;
    for (const char* folder : kLockFolders) {
        // /var/lock is often a link to /run/lock: one file, read once.
        const QString dir = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (dir.isEmpty() || seen.contains(dir)) continue;
        seen << dir;
        const QString path = dir + QLatin1Char('/') + name;
        if (!QFileInfo::exists(path)) continue;
        lock.found = true;
        // The lock folders are open to every user: a FIFO or a device planted there is never read.
        const auto bytes = read_regular_file(path, kMaxLockFileBytes);
        if (!std::holds_alternative<QByteArray>(bytes)) continue;
        // Qt writes "pid\nprogram\nhost\n", UUCP tools the pid in ten columns.
        const QList<QByteArray> lines = std::get<QByteArray>(bytes).split('\n');
        bool ok = false;
        const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
        if (!ok || !process_lives(pid)) continue;
        // A process id used again by another program after the holder died: Qt's serial port
        // takes such a lock as stale too, when the program named in it is not the one running.
        const QString named = QString::fromLocal8Bit(lines.value(1).trimmed());
        const QString running = executable_name(pid);
        if (!named.isEmpty() && !running.isEmpty() && QFileInfo(named).fileName() != running) continue;
        LockHolder holder;
        holder.pid = pid;
        holder.program = process_name(pid);
        if (holder.program.isEmpty()) holder.program = named;
        lock.holder = holder;
        return lock;
    }
    return lock;
}

QString holder_text(const LockHolder& holder) {
    const QString program = holder.program.isEmpty() ? QStringLiteral("a program") : holder.program;
    return QStringLiteral("%1 (pid %2)").arg(program).arg(holder.pid);
}

} // namespace tessaro
