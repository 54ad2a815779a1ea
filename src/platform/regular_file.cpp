#include "regular_file.h"

#include "safe_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

constexpr qint64 kReadChunk = 64 * 1024;

FileReadFailure failure(FileReadError error, int system_error = 0) {
    FileReadFailure f;
    f.error = error;
    f.system_error = system_error;
    return f;
}

} // namespace

std::optional<FileReadFailure> not_regular_failure(unsigned mode) {
    if (S_ISREG(mode)) return std::nullopt;
    if (S_ISDIR(mode)) return failure(FileReadError::Folder);
    if (S_ISFIFO(mode)) return failure(FileReadError::Pipe);
    if (S_ISCHR(mode) || S_ISBLK(mode)) return failure(FileReadError::Device);
    if (S_ISSOCK(mode)) return failure(FileReadError::Socket);
    return failure(FileReadError::NotRegular);
}

QString file_read_text(const FileReadFailure& f) {
    switch (f.error) {
    case FileReadError::CannotOpen: return reason_text(f.system_error);
    case FileReadError::Folder: return QStringLiteral("It is a folder, not a file.");
    case FileReadError::Pipe: return QStringLiteral("It is a named pipe (FIFO), not a file.");
    case FileReadError::Device: return QStringLiteral("It is a device, not a file.");
    case FileReadError::Socket: return QStringLiteral("It is a socket, not a file.");
    case FileReadError::NotRegular: return QStringLiteral("It is not a regular file.");
    case FileReadError::TooLarge:
        return QStringLiteral("It holds more than %1 bytes, more than such a file can hold.").arg(f.max_bytes);
    case FileReadError::ReadFailed: return reason_text(f.system_error);
    }
    return {};
}

std::variant<QByteArray, FileReadFailure> read_regular_file(const QString& path, qint64 max_bytes) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) return failure(FileReadError::CannotOpen, ENOENT);
    struct stat st {};
    // Looked at before opening: opening a device may already act on it.
    if (::stat(name.constData(), &st) != 0) return failure(FileReadError::CannotOpen, errno);
    if (auto kind = not_regular_failure(st.st_mode)) return *kind;

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failure(FileReadError::CannotOpen, errno);
    auto give_up = [fd](FileReadFailure f) {
        ::close(fd);
        return f;
    };
    // The path may name another file by now: the descriptor is what counts.
    if (::fstat(fd, &st) != 0) return give_up(failure(FileReadError::ReadFailed, errno));
    if (auto kind = not_regular_failure(st.st_mode)) return give_up(*kind);

    FileReadFailure too_large = failure(FileReadError::TooLarge);
    too_large.max_bytes = max_bytes;
    if (st.st_size > max_bytes) return give_up(too_large);

    QByteArray bytes;
    // The reported size is a hint; one byte more than the bound tells a file that grew.
    bytes.reserve(static_cast<qsizetype>(std::min<qint64>(st.st_size, max_bytes) + 1));
    for (;;) {
        const qint64 room = max_bytes + 1 - bytes.size();
        if (room <= 0) return give_up(too_large);
        const qsizetype at = bytes.size();
        const qint64 want = std::min(room, kReadChunk);
        bytes.resize(at + static_cast<qsizetype>(want));
        const ssize_t n = ::read(fd, bytes.data() + at, static_cast<size_t>(want));
        if (n < 0) {
            const int error = errno;
            bytes.resize(at);
            if (error == EINTR) continue;
            return give_up(failure(FileReadError::ReadFailed, error));
        }
        bytes.resize(at + n);
        if (n == 0) break;
    }
    ::close(fd);
    return bytes;
}

} // namespace tessaro
