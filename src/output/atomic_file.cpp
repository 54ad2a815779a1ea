#include "atomic_file.h"

#include <QBuffer>
#include <QImage>

namespace tessaro {

std::optional<QString> save_chart_bitmap(const QImage& image, const QString& path) {
    if (image.isNull()) return QStringLiteral("There is no chart image to save");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP")) return QStringLiteral("The chart could not be encoded as a bitmap");
    return write_file_atomically(path, bytes);
}

} // namespace tessaro
