#include "snapshot_file.h"

#include "platform/safe_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <csignal>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
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

// The bitmap is converted and handed on a few rows at a time, so the whole file (790 KB for
// the chart) never sits in memory.
constexpr qsizetype kPieceBytes = 64 * 1024;

// Hands the bitmap of image to put(data, size) in file order: rows bottom-up, each padded to
// four bytes, converted into piece. False as soon as put fails.
template <typename Put>
bool put_bmp(const QImage& image, QByteArray& piece, Put put) {
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    const qsizetype row = (static_cast<qsizetype>(w) * 3 + 3) & ~qsizetype{3};
    const quint32 data_size = static_cast<quint32>(row) * static_cast<quint32>(h);
    const qsizetype rows_per_piece = std::max<qsizetype>(1, (kPieceBytes - kHeaderSize) / row);
    piece.resize(kHeaderSize + rows_per_piece * row);
    uchar* p = reinterpret_cast<uchar*>(piece.data());
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
    qsizetype used = kHeaderSize;
    for (int y = 0; y < h; ++y) {
        if (used + row > piece.size()) {
            if (!put(piece.constData(), used)) return false;
            used = 0;
        }
        bgr_row(reinterpret_cast<const QRgb*>(rgb.constScanLine(h - 1 - y)), p + used, w);
        std::memset(p + used + w * 3, 0, static_cast<size_t>(row - w * 3));
        used += row;
    }
    return put(piece.constData(), used);
}

// A write lease on fd. Someone opening the file while it is held makes the kernel signal us:
// SIGIO by default, which ends the program, so SIGURG (ignored unless handled) is asked for.
// Releasing a lease resets the file's signal to SIGIO, so it is asked for again every time.
bool take_lease(int fd) { return ::fcntl(fd, F_SETSIG, SIGURG) == 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0; }

} // namespace

QByteArray bmp_bytes(const QImage& image) {
    QByteArray out, piece;
    put_bmp(image, piece, [&](const char* data, qsizetype size) {
        out.append(data, size);
        return true;
    });
    return out;
}

SnapshotWriter::~SnapshotWriter() { drop_spares(); }

SnapshotWriter::SnapshotWriter(SnapshotWriter&& other) noexcept { *this = std::move(other); }

SnapshotWriter& SnapshotWriter::operator=(SnapshotWriter&& other) noexcept {
    if (this == &other) return *this;
    drop_spares();
    piece_ = std::move(other.piece_);
    path_ = std::move(other.path_);
    target_ = std::move(other.target_);
    folder_ = std::move(other.folder_);
    spare_folder_ = std::move(other.spare_folder_);
    spares_ = std::exchange(other.spares_, {});
    next_ = other.next_;
    return *this;
}

void SnapshotWriter::drop_spares() {
    bool had = false;
    for (Spare& spare : spares_) {
        if (spare.fd < 0) continue;
        ::close(spare.fd);
        ::unlink(spare.name.constData());
        spare = Spare{};
        had = true;
    }
    if (had) ::rmdir(spare_folder_.constData()); // fails while another instance keeps its own
    next_ = 0;
}

bool SnapshotWriter::open_spares() {
    // The private folder is ours alone (made 0700, or found as a real folder of our own), so no
    // one else can see, replace or link to the spares.
    if (::mkdir(spare_folder_.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(spare_folder_.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0)
        return false;
    for (Spare& spare : spares_) {
        TempFile file = create_temp_file(spare_folder_ + '/' + QFileInfo(path_).fileName().toUtf8());
        if (file.fd < 0) {
            drop_spares();
            return false;
        }
        spare = Spare{file.fd, file.name, 0};
    }
    return true;
}

bool SnapshotWriter::write_through_spare(const QImage& image) {
    if (spares_[0].fd < 0 && !open_spares()) return false;
    Spare& spare = spares_[static_cast<size_t>(next_)];
    // A reader may still hold this file from when the target named it. The kernel grants a
    // write lease only while no one else has the file open; the lease also keeps new openers
    // waiting until the bitmap is whole. Without it the spare is replaced by a new file and
    // the reader keeps the old one, unchanged.
    bool leased = take_lease(spare.fd);
    if (!leased) {
        // New, and in our private folder: no one else has it open even without a lease.
        const TempFile file = create_temp_file(spare.name);
        if (file.fd < 0) return false;
        ::close(spare.fd);
        ::unlink(spare.name.constData());
        spare = Spare{file.fd, file.name, 0};
        leased = take_lease(spare.fd);
    }
    const bool ok = overwrite(spare, image) && replace_with_link(spare.name, target_);
    if (leased) ::fcntl(spare.fd, F_SETLEASE, F_UNLCK);
    if (!ok) return false;
    next_ = 1 - next_;
    return true;
}

bool SnapshotWriter::overwrite(Spare& spare, const QImage& image) {
    // Overwritten in place: the pages of the file are the ones of its last use.
    qsizetype at = 0;
    const bool put = ::lseek(spare.fd, 0, SEEK_SET) == 0
        && put_bmp(image, piece_, [&](const char* data, qsizetype size) {
               at += size;
               return write_fully(spare.fd, data, size);
           });
    if (!put) {
        spare.size = -1; // its length is no longer known: the next use sets it
        return false;
    }
    if (spare.size != at) {
        if (::ftruncate(spare.fd, at) != 0) return false; // a larger picture's bytes must not stay behind
        spare.size = at;
    }
    return true;
}

bool SnapshotWriter::write_fresh(const QImage& image) {
    // A new file under a name nobody can guess or plant a link at: another user sharing the
    // folder, or a second instance of the program, cannot redirect or disturb the write.
    const TempFile temp = create_temp_file(target_);
    if (temp.fd < 0) return false;
    const bool written =
        put_bmp(image, piece_, [&](const char* data, qsizetype size) { return write_fully(temp.fd, data, size); });
    const bool closed = ::close(temp.fd) == 0;
    const bool ok = written && closed && std::rename(temp.name.constData(), target_.constData()) == 0;
    if (!ok) ::unlink(temp.name.constData());
    return ok;
}

bool SnapshotWriter::write(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty()) return false;
    if (path != path_) {
        drop_spares();
        const QFileInfo target(path);
        folder_ = target.absolutePath();
        target_ = QFile::encodeName(target.absoluteFilePath());
        spare_folder_ = QFile::encodeName(folder_ + QLatin1String("/.") + target.fileName() + QLatin1String(".spares"));
        path_ = path;
    }
    if (write_through_spare(image)) return true;
    // The folder (and the spares with it) went away, never was, or the disk is full: start
    // afresh, the folder made once, not looked for on every redraw.
    drop_spares();
    if (!QFileInfo(folder_).isDir() && !QDir().mkpath(folder_)) return false;
    if (write_through_spare(image)) return true;
    drop_spares();
    return write_fresh(image);
}

bool write_snapshot(const QImage& image, const QString& path) { return SnapshotWriter().write(image, path); }

} // namespace tessaro
