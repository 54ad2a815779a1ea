// The chart bitmap saved through the checked atomic writer of platform/.
#pragma once

#include "platform/safe_file.h"

#include <QString>

#include <optional>

class QImage;

namespace tessaro {

// Saves the image as a Windows bitmap whatever the extension of path, atomically.
std::optional<QString> save_chart_bitmap(const QImage& image, const QString& path);

} // namespace tessaro
