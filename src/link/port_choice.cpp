// Port box number and the port file, written in place as a 2-byte record.
#include "port_choice.h"

#include "records/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <unistd.h>

namespace tessaro {

std::optional<int> port_number(const QString& text) {
    const auto value = parse_number(text.toStdString());
    if (!value || std::trunc(*value) != *value) return std::nullopt;
    if (*value < kFirstPort || *value > kLastPort) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<int16_t> read_port_file(const QString& path) {
    // Read on every link tick, so plain system calls; never blocks on a FIFO put in its place.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
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
    QFile file(path);
    // ReadWrite opens without truncating and creates the file when missing.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) return false;
    const auto raw = static_cast<uint16_t>(value);
    const char bytes[2] = {static_cast<char>(raw & 0xFF), static_cast<char>(raw >> 8)};
    const bool ok = file.seek(0) && file.write(bytes, 2) == 2;
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

} // namespace tessaro
