// Test helpers: a pseudo-terminal pair, a redirected XDG environment and a port map entry.
#pragma once

#include "support/generous_wait.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace tessaro::test {

// A pseudo-terminal: the test plays the meter on the master side; the program opens the slave.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    QString slavePath() const { return slave_path_; }
    // Writes bytes to the master (they arrive at the program's port).
    void write(const QByteArray& bytes);
    // Reads what the program wrote so far (non-blocking).
    QByteArray readAvailable();
    // Waits up to timeout_ms (running the Qt event loop) until n bytes were read; returns them all.
    QByteArray readAtLeast(int n, int timeout_ms = kWaitMs);
    // Closes the master: the program's side sees the device go away.
    void closeMaster();

private:
    int master_ = -1;
    int slave_keep_ = -1; // keeps the slave side alive while the program reopens it
    QString slave_path_;
};

// Points $XDG_CONFIG_HOME, $XDG_CACHE_HOME, $XDG_RUNTIME_DIR and $HOME at a temporary folder.
class TempXdg {
public:
    TempXdg();
    QString root() const { return dir_.path(); }
    // Makes port n a symlink to target in the port map.
    bool mapPort(int n, const QString& target) const;
    void unmapPort(int n) const;

private:
    QTemporaryDir dir_;
};

} // namespace tessaro::test
