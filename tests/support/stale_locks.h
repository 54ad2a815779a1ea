// Port lock files a killed program leaves in the shared lock folders, removed by the test that killed it.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace tessaro::test {

// Removes every serial port lock (LCK..*) that names `pid` as its holder. A test that kills a
// program holding a port calls it: the kernel hands a freed pseudo-terminal number to the next one
// opened, and a later test on that number (perhaps as another user, who may not remove a lock in
// the sticky lock folder) would meet the dead program's lock.
inline void remove_locks_of(qint64 pid) {
    if (pid <= 0) return;
    QStringList seen;
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp", "/var/tmp"}) {
        const QString dir = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (dir.isEmpty() || seen.contains(dir)) continue;
        seen << dir;
        for (const QString& name : QDir(dir).entryList({QStringLiteral("LCK..*")}, QDir::Files)) {
            QFile lock(dir + QLatin1Char('/') + name);
            if (!QFileInfo(lock).isFile() || !lock.open(QIODevice::ReadOnly)) continue;
            const QByteArray holder = lock.readLine(64).trimmed();
            lock.close();
            if (holder.toLongLong() == pid) lock.remove();
        }
    }
}

} // namespace tessaro::test
