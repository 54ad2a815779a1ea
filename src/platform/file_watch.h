// Tells whether a file may have changed since the last look, at the cost of one non-blocking read.
#pragma once

#include <QString>

namespace tessaro {

// Watches the folder of one file with inotify. changed() is true when anything in that folder was
// created, written, renamed, removed or had its attributes changed since the previous call, when
// the folder itself went away, and whenever the file cannot be watched (no inotify, no folder yet,
// a symlink whose target lies elsewhere): the caller then simply looks at the file again.
class FileWatch {
public:
    FileWatch() = default;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;
    FileWatch(FileWatch&& other) noexcept;
    FileWatch& operator=(FileWatch&& other) noexcept; // the other's watch replaces this one's
    ~FileWatch();

    bool changed(const QString& path);

private:
    void arm(); // leaves wd_ at -1 when the folder cannot be watched
    void disarm();

    QString path_;
    int fd_ = -1;  // the inotify descriptor
    int wd_ = -1;  // the folder's watch on it; -1 when not armed
};

} // namespace tessaro
