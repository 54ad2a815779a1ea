// The chart snapshot: the chart as a 24-bit Windows bitmap file, replaced whole on every redraw.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <array>

namespace tessaro {

// The image as a 24-bit Windows bitmap file's bytes.
QByteArray bmp_bytes(const QImage& image);

// Writes charts as Windows bitmaps so that a reader never sees half a file, without making
// the system allocate and free the file's memory on every redraw. The writer keeps two spare
// files, created exclusively under unpredictable names in a private folder beside the target
// (".555.bmp.spares"), and overwrites them in turn; the whole bitmap then gets the target's
// name by a new hard link renamed over it. A spare that a reader still holds open (from when
// the target named it) is never overwritten but replaced by a new one. When the spares cannot
// be used (a folder removed under the writer, a full disk) it falls back to a new file renamed
// over the target. Creates the folder when missing. No fsync: the file lives in a
// memory-backed folder. The spares go when the writer does.
class SnapshotWriter {
public:
    SnapshotWriter() = default;
    ~SnapshotWriter();
    SnapshotWriter(SnapshotWriter&& other) noexcept;
    SnapshotWriter& operator=(SnapshotWriter&& other) noexcept;
    SnapshotWriter(const SnapshotWriter&) = delete;
    SnapshotWriter& operator=(const SnapshotWriter&) = delete;

    // False when any step fails; the target then keeps what it held.
    bool write(const QImage& image, const QString& path);

private:
    struct Spare {
        int fd = -1;
        QByteArray name;   // encoded path
        qsizetype size = 0; // its length, -1 when unknown
    };
    bool write_through_spare(const QImage& image);
    bool overwrite(Spare& spare, const QImage& image);
    bool write_fresh(const QImage& image);
    bool open_spares();
    void drop_spares();

    QByteArray piece_;     // a few rows of the picture being written, converted
    QString path_;         // the target the names below belong to
    QByteArray target_;    // its encoded name
    QString folder_;
    QByteArray spare_folder_;
    std::array<Spare, 2> spares_;
    int next_ = 0;         // the spare overwritten next
};

// One write with a writer of its own.
bool write_snapshot(const QImage& image, const QString& path);

} // namespace tessaro
