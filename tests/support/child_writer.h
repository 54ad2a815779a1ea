// Runs a file write in a child process under a hostile limit: a file size cap (writes then fail
// with EFBIG, as on a full disk) or without root's rights (so read-only folders refuse even root).
#pragma once

#include <QByteArray>
#include <QString>

#include <csignal>
#include <functional>
#include <optional>

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro::test {

struct ChildLimits {
    std::optional<rlim_t> file_size; // RLIMIT_FSIZE in bytes
    bool drop_root = false;          // run as "nobody" when started as root
};

// What the write in the child answered: nullopt for success, else its reason; "<child failed>"
// when the child crashed or could not be started.
inline std::optional<QString> write_in_child(const ChildLimits& limits,
                                             const std::function<std::optional<QString>()>& write) {
    int fds[2];
    if (::pipe(fds) != 0) return QStringLiteral("<child failed>");
    const pid_t pid = ::fork();
    if (pid < 0) return QStringLiteral("<child failed>");
    if (pid == 0) {
        ::close(fds[0]);
        if (limits.drop_root && ::geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(3);
        }
        if (limits.file_size) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit cap{*limits.file_size, *limits.file_size};
            if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) ::_exit(3);
        }
        const std::optional<QString> reason = write();
        const QByteArray answer = reason ? QByteArray("F") + reason->toUtf8() : QByteArray("S");
        const bool sent = ::write(fds[1], answer.constData(), static_cast<size_t>(answer.size())) == answer.size();
        ::_exit(sent ? 0 : 3);
    }
    ::close(fds[1]);
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        answer.append(buffer, n);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.isEmpty()) return QStringLiteral("<child failed>");
    if (answer == "S") return std::nullopt;
    return QString::fromUtf8(answer.mid(1));
}

// Limits the size of files this whole process may write while it lives (SIGXFSZ ignored, so a
// write fails with EFBIG). For tests whose process has threads a child could deadlock on.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
};

} // namespace tessaro::test
