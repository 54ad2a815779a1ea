#include "file_watch.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {
constexpr uint32_t kFolderEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                   IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watch is gone or no longer on the folder the path names.
constexpr uint32_t kWatchLost = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_Q_OVERFLOW;

// A symlinked file changes where its folder's events do not reach.
bool is_symlink(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}
} // namespace

FileWatch::FileWatch(FileWatch&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), wd_(std::exchange(other.wd_, -1)) {}

FileWatch& FileWatch::operator=(FileWatch&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        wd_ = std::exchange(other.wd_, -1);
    }
    return *this;
}

FileWatch::~FileWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void FileWatch::disarm() {
    if (wd_ >= 0) ::inotify_rm_watch(fd_, wd_);
    wd_ = -1;
}

void FileWatch::arm() {
    if (fd_ < 0) fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || is_symlink(path_)) return;
    wd_ = ::inotify_add_watch(fd_, QFile::encodeName(QFileInfo(path_).absolutePath()).constData(), kFolderEvents);
}

bool FileWatch::changed(const QString& path) {
    if (path != path_) {
        disarm();
        path_ = path;
    }
    if (wd_ < 0) {
        // Armed now, so anything from here on is seen; what came before is unknown.
        arm();
        return true;
    }
    bool any = false, lost = false;
    alignas(struct inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            // Late events of a watch already dropped (its removal included) say nothing here.
            const bool overflow = (ev->mask & IN_Q_OVERFLOW) != 0;
            if (ev->wd != wd_ && !overflow) continue;
            any = true;
            lost = lost || (ev->mask & kWatchLost) != 0;
        }
    }
    // A folder moved or removed is watched afresh on the next call, as is a file that has just
    // become a symlink (its target's changes would not be seen here).
    if (lost || (any && is_symlink(path_))) disarm();
    return any;
}

} // namespace tessaro
