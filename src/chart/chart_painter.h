// Paints the chart geometry into an image and writes the chart snapshot file.
#pragma once

#include "chart_geometry.h"

#include <QFont>
#include <QImage>
#include <QString>

class QPainter;

namespace tessaro {

// Paints g on a cleared 729 x 361 pixel surface held by painter (device-pixel ratio 1).
void paint_chart(QPainter& painter, const ChartGeometry& g, const QFont& font);

// The whole chart: 729 x 361 pixels, Format_RGB32, device-pixel ratio 1.
QImage render_chart(const ChartInput& in, const QFont& font);

// Writes image as a Windows bitmap to path: into a temporary file beside it, then renamed over it,
// so a reader never sees half a file. Creates the folder when missing. No fsync: the file is
// rewritten twice a second and lives in a memory-backed folder. False when any step fails.
bool write_snapshot(const QImage& image, const QString& path);

} // namespace tessaro
