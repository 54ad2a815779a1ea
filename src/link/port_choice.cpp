// Port box number and the port file, written in place as a 2-byte record.
#include "port_choice.h"

#include "records/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

std::optional<int> port_number(const QString& text) {
    const auto value = parse_number(text.toStdString());
    if (!value || std::trunc(*value) != *value) return std::nullopt;
    if (*value < kFirstPort || *value > kLastPort) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int16_t> read_port_file(const QString& path) {
    // Read on every link tick, so plain system calls. A FIFO or a device put in its place counts as
    // no file: it is never opened (opening a serial device changes its lines).
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    unsigned char bytes[2];
    ssize_t n;
    do n = ::pread(fd, bytes, sizeof bytes, 0);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n != 2) return std::nullopt;
    const auto lo = static_cast<uint16_t>(bytes[0]);
    const auto hi = static_cast<uint16_t>(bytes[1]);
    const auto value = static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
    if (value < kFirstPort || value > kLastPort) return std::nullopt;
    return value;
}

bool write_port_file(const QString& path, int16_t value) {
    const QFileInfo info(path);
    // A symlink (even a dangling one) is written through; only a plain missing path needs its folder.
    if (!info.isSymLink() && !QDir().mkpath(info.absolutePath())) return false;
    const QByteArray name = QFile::encodeName(path);
    // Only a regular file (or a link to one) is the port file: a FIFO or a device put in its place
    // is left alone, without opening a device (which could change its lines) and without a word.
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    // Opened without truncating and created when missing; written in place, keeping any tail.
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        const auto raw = static_cast<uint16_t>(value);
        const unsigned char bytes[2] = {static_cast<unsigned char>(raw & 0xFF), static_cast<unsigned char>(raw >> 8)};
        ssize_t n;
        do n = ::pwrite(fd, bytes, sizeof bytes, 0);
        while (n < 0 && errno == EINTR);
        ok = n == 2;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace tessaro
