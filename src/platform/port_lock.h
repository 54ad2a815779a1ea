// Who holds a serial device: the lock files serial programs leave beside it, and whether their owner lives.
#pragma once

#include <QString>

#include <optional>

namespace tessaro {

// The program named by a live lock.
struct LockHolder {
    qint64 pid = 0;
    QString program; // its process name ("tessaro-cli"), or the name the lock file gives
};

// The lock file name Qt's serial port and the UUCP tools give the device: "LCK..ttyUSB0" for
// /dev/ttyUSB0, "LCK..pts_7" for /dev/pts/7. device is the resolved path.
QString lock_file_name(const QString& device);

// What the lock files of a device say.
struct DeviceLock {
    bool found = false;                // a lock file exists
    std::optional<LockHolder> holder;  // its owner, when that process still runs
};

// Reads the device's lock files in the lock folders (/run/lock, /var/lock, /tmp, ...). A lock
// naming a process that has ended (a killed program's leftover), or whose process id now runs
// another program than the lock names, has no holder.
DeviceLock read_device_lock(const QString& device);

// "tessaro-cli (pid 4242)".
QString holder_text(const LockHolder& holder);

} // namespace tessaro
