#include "safe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

// Tries before giving up on finding a free name; each has 2^72 choices.
constexpr int kNameAttempts = 64;
// Room left for the random part and the dots in a file name of at most 255 bytes.
constexpr qsizetype kMaxStem = 200;

QByteArray folder_of(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray base_of(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }

// ".<name>.<12 random characters>.tmp" beside path: hidden, and not guessable by another user.
QByteArray random_name_beside(const QByteArray& path) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
    QByteArray name = folder_of(path) + "/." + base_of(path).left(kMaxStem) + '.';
    quint32 bits[3]; // 12 characters of 6 bits, drawn at once
    QRandomGenerator::system()->fillRange(bits);
    for (int i = 0; i < 12; ++i) name += kAlphabet[(bits[i / 4] >> (6 * (i % 4))) & 63];
    return name + ".tmp";
}

// Syncs the folder so that the rename itself survives a power cut; best effort.
void sync_folder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The file to replace: path itself, or the existing file a symlink at path leads to.
QByteArray target_of(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty()) return QFile::encodeName(resolved);
    }
    return QFile::encodeName(info.absoluteFilePath());
}

} // namespace

QString not_regular_file_text() { return QStringLiteral("It is not a regular file."); }

QString reason_text(int error) {
    const QString text = qt_error_string(error);
    return text.isEmpty() ? QStringLiteral("Unknown error %1").arg(error) : text;
}

bool write_fully(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

TempFile create_temp_file(const QByteArray& beside) {
    TempFile temp;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temp.name = random_name_beside(beside);
        temp.fd = ::open(temp.name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (temp.fd >= 0 || errno != EEXIST) return temp;
    }
    return temp;
}

namespace {

std::optional<QString> write_atomically(const QString& path, const QByteArray& data, bool secret) {
    if (path.isEmpty()) return reason_text(ENOENT);
    const QByteArray target = target_of(path);
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return not_regular_file_text();
    TempFile temp = create_temp_file(target);
    if (temp.fd < 0) return reason_text(errno);

    // A secret is closed to others before a byte of it is written; a replaced file keeps who may read it.
    if (secret) {
        if (::fchmod(temp.fd, S_IRUSR | S_IWUSR) != 0) {
            const int error = errno;
            ::close(temp.fd);
            ::unlink(temp.name.constData());
            return reason_text(error);
        }
    } else if (exists) {
        ::fchmod(temp.fd, old.st_mode & 07777);
    }

    int error = 0;
    if (!write_fully(temp.fd, data.constData(), data.size()) || ::fsync(temp.fd) != 0) error = errno;
    if (::close(temp.fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temp.name.constData(), target.constData()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.name.constData());
        return reason_text(error);
    }
    sync_folder(folder_of(target));
    return std::nullopt;
}

} // namespace

std::optional<QString> write_file_atomically(const QString& path, const QByteArray& data) {
    return write_atomically(path, data, false);
}

std::optional<QString> write_private_file_atomically(const QString& path, const QByteArray& data) {
    return write_atomically(path, data, true);
}

bool replace_with_link(const QByteArray& existing, const QByteArray& target) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray temp = random_name_beside(target);
        if (::link(existing.constData(), temp.constData()) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (std::rename(temp.constData(), target.constData()) != 0) {
            const int error = errno;
            ::unlink(temp.constData());
            errno = error;
            return false;
        }
        return true;
    }
    errno = EEXIST;
    return false;
}

std::optional<QString> replace_symlink_atomically(const QString& link_path, const QString& target) {
    if (link_path.isEmpty() || target.isEmpty()) return reason_text(ENOENT);
    const QByteArray link = QFile::encodeName(QFileInfo(link_path).absoluteFilePath());
    const QByteArray to = QFile::encodeName(target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray temp = random_name_beside(link);
        if (::symlink(to.constData(), temp.constData()) != 0) {
            if (errno == EEXIST) continue;
            return reason_text(errno);
        }
        if (std::rename(temp.constData(), link.constData()) != 0) {
            const int error = errno;
            ::unlink(temp.constData());
            return reason_text(error);
        }
        return std::nullopt;
    }
    return reason_text(EEXIST);
}

} // namespace tessaro
