#include "snapshot_file.h"

#include "platform/safe_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace tessaro {

namespace {

constexpr int kHeaderSize = 54; // file header and BITMAPINFOHEADER

void put16(uchar* at, quint16 v) { at[0] = v & 0xFF, at[1] = static_cast<uchar>(v >> 8); }
void put32(uchar* at, quint32 v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uchar>((v >> (8 * i)) & 0xFF);
}

// One row of RGB32 pixels as blue, green, red bytes.
void bgr_row(const QRgb* src, uchar* dst, int width) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // An RGB32 pixel lies in memory as blue, green, red, unused: four pixels at a time,
        // the unused bytes squeezed out.
        const auto* s = reinterpret_cast<const uchar*>(src);
        for (; x + 4 <= width; x += 4, s += 16, dst += 12) {
            uint64_t a, b;
            std::memcpy(&a, s, 8);
            std::memcpy(&b, s + 8, 8);
            const uint64_t lo = (a & 0xFFFFFFu) | ((a >> 8) & 0xFFFFFF000000u) | (b << 48);
            const auto hi = static_cast<uint32_t>(((b >> 16) & 0xFFu) | ((b >> 24) & 0xFFFFFF00u));
            std::memcpy(dst, &lo, 8);
            std::memcpy(dst + 8, &hi, 4);
        }
    }
    for (; x < width; ++x) {
        *dst++ = static_cast<uchar>(qBlue(src[x]));
        *dst++ = static_cast<uchar>(qGreen(src[x]));
        *dst++ = static_cast<uchar>(qRed(src[x]));
    }
}

// Fills out with the bitmap of image: rows bottom-up, each padded to four bytes.
void fill_bmp(const QImage& image, QByteArray& out) {
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    const int row = (w * 3 + 3) & ~3;
    const quint32 data_size = static_cast<quint32>(row) * static_cast<quint32>(h);
    out.resize(kHeaderSize + static_cast<qsizetype>(data_size));
    uchar* p = reinterpret_cast<uchar*>(out.data());
    std::memset(p, 0, kHeaderSize);
    p[0] = 'B', p[1] = 'M';
    put32(p + 2, kHeaderSize + data_size);
    put32(p + 10, kHeaderSize);   // pixel data offset
    put32(p + 14, 40);            // BITMAPINFOHEADER
    put32(p + 18, static_cast<quint32>(w));
    put32(p + 22, static_cast<quint32>(h));
    put16(p + 26, 1);             // planes
    put16(p + 28, 24);            // bits per pixel
    put32(p + 38, 3780);          // 96 dpi in pixels per metre
    put32(p + 42, 3780);
    for (int y = 0; y < h; ++y) {
        uchar* dst = p + kHeaderSize + static_cast<qsizetype>(y) * row;
        bgr_row(reinterpret_cast<const QRgb*>(rgb.constScanLine(h - 1 - y)), dst, w);
        std::memset(dst + w * 3, 0, static_cast<size_t>(row - w * 3));
    }
}

} // namespace

QByteArray bmp_bytes(const QImage& image) {
    QByteArray out;
    fill_bmp(image, out);
    return out;
}

bool SnapshotWriter::write(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty()) return false;
    if (path != path_) {
        const QFileInfo target(path);
        folder_ = target.absolutePath();
        target_ = QFile::encodeName(target.absoluteFilePath());
        path_ = path;
    }
    // A new file under a name nobody can guess or plant a link at: another user sharing the
    // folder, or a second instance of the program, cannot redirect or disturb the write.
    TempFile temp = create_temp_file(target_);
    if (temp.fd < 0 && errno == ENOENT) {
        // The folder went away (or never was): made once, not looked for on every redraw.
        if (!QDir().mkpath(folder_)) return false;
        temp = create_temp_file(target_);
    }
    if (temp.fd < 0) return false;
    fill_bmp(image, bytes_);
    const bool written = write_fully(temp.fd, bytes_.constData(), bytes_.size());
    const bool closed = ::close(temp.fd) == 0;
    const bool ok = written && closed && std::rename(temp.name.constData(), target_.constData()) == 0;
    if (!ok) ::unlink(temp.name.constData());
    return ok;
}

bool write_snapshot(const QImage& image, const QString& path) { return SnapshotWriter().write(image, path); }

} // namespace tessaro
