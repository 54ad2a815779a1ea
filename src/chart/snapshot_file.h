// The chart snapshot: the chart as a 24-bit Windows bitmap file, replaced whole on every redraw.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace tessaro {

// The image as a 24-bit Windows bitmap file's bytes.
QByteArray bmp_bytes(const QImage& image);

// Writes charts as Windows bitmaps: into a new, exclusively created file under an unpredictable
// name beside the target, then renamed over it, so a reader never sees half a file. Creates the
// folder when missing. No fsync: the file is rewritten twice a second and lives in a
// memory-backed folder. Keeps its buffer between calls,
// as every chart has the same size.
class SnapshotWriter {
public:
    // False when any step fails; the target then keeps what it held.
    bool write(const QImage& image, const QString& path);

private:
    QByteArray bytes_;
    QString path_;         // the target the names below belong to
    QByteArray target_;    // its encoded name
    QString folder_;
};

// One write with a writer of its own.
bool write_snapshot(const QImage& image, const QString& path);

} // namespace tessaro
