#include "atomic_file.h"

#include <QBuffer>
#include <QImage>
#include <QSaveFile>

namespace tessaro {

namespace {

QString file_error_text(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::NoError: return QStringLiteral("No error");
    case QFileDevice::ReadError: return QStringLiteral("The file could not be read");
    case QFileDevice::WriteError: return QStringLiteral("The file could not be written");
    case QFileDevice::FatalError: return QStringLiteral("A fatal error occurred");
    case QFileDevice::ResourceError: return QStringLiteral("Out of resources (disk full?)");
    case QFileDevice::OpenError: return QStringLiteral("The file could not be opened");
    case QFileDevice::AbortError: return QStringLiteral("The operation was aborted");
    case QFileDevice::TimeOutError: return QStringLiteral("A timeout occurred");
    case QFileDevice::UnspecifiedError: return QStringLiteral("An unspecified error occurred");
    case QFileDevice::RemoveError: return QStringLiteral("The file could not be removed");
    case QFileDevice::RenameError: return QStringLiteral("The file could not be renamed");
    case QFileDevice::PositionError: return QStringLiteral("The position in the file could not be changed");
    case QFileDevice::ResizeError: return QStringLiteral("The file could not be resized");
    case QFileDevice::PermissionsError: return QStringLiteral("Permission denied");
    case QFileDevice::CopyError: return QStringLiteral("The file could not be copied");
    }
    return QStringLiteral("An unspecified error occurred");
}

// Our text for the error kind, with the system's detail for the operator to read.
QString reason_of(const QSaveFile& file) {
    const QFileDevice::FileError error =
        file.error() == QFileDevice::NoError ? QFileDevice::UnspecifiedError : file.error();
    const QString detail = file.errorString();
    return detail.isEmpty() ? file_error_text(error) : file_error_text(error) + QStringLiteral(": ") + detail;
}

} // namespace

std::optional<QString> write_file_atomically(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) return reason_of(file);
    if (file.write(data) != data.size()) {
        const QString reason = reason_of(file);
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) return reason_of(file);
    return std::nullopt;
}

std::optional<QString> save_chart_bitmap(const QImage& image, const QString& path) {
    if (image.isNull()) return QStringLiteral("There is no chart image to save");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP")) return QStringLiteral("The chart could not be encoded as a bitmap");
    return write_file_atomically(path, bytes);
}

} // namespace tessaro
