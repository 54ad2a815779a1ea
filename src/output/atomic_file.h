// Writing the saved files whole and then replacing the old one.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QImage;

namespace tessaro {

// Writes data to path through a temporary file that replaces path only when complete.
// nullopt on success, otherwise the reason, for the operator; path is then left as it was.
std::optional<QString> write_file_atomically(const QString& path, const QByteArray& data);

// Saves the image as a Windows bitmap whatever the extension of path, atomically.
std::optional<QString> save_chart_bitmap(const QImage& image, const QString& path);

} // namespace tessaro
