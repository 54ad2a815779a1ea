// Paints the chart geometry into an image.
#pragma once

#include "chart_geometry.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QString>

class QPainter;

namespace tessaro {

// Paints g on a cleared surface of 729 x 361 logical pixels held by painter. At device-pixel ratio 1
// every line lies on whole pixels (the snapshot's picture); on a finer surface (a high-DPI screen)
// lines keep their twip positions at that surface's resolution and one logical pixel's width.
void paint_chart(QPainter& painter, const ChartGeometry& g, const QFont& font);

// The parts paint_chart is made of: the labels and captions, and the curve over everything else.
void paint_texts(QPainter& painter, const ChartGeometry& g, const QFont& font);
void paint_curve(QPainter& painter, const ChartGeometry& g);

// The whole chart: 729 x 361 logical pixels, Format_RGB32, at the device-pixel ratio given.
QImage render_chart(const ChartInput& in, const QFont& font, qreal ratio = 1.0);

// Renders charts like render_chart, keeping the axes, grid and labels of the last scale and view:
// a new sample only repaints the curve over a copy of them. The pixels are the same. The image
// returned shares the renderer's frame buffer, which the next render reuses once every other copy
// of it is gone (else it takes a new one): a returned image is never changed behind its holder.
class ChartRenderer {
public:
    QImage render(const ChartInput& in, const QFont& font, qreal ratio = 1.0);

private:
    QImage background_;
    QImage frame_;
    uint8_t mode_ = 0;
    double scale_ = 0.0;
    qreal ratio_ = 1.0;
    QFont font_;
};

} // namespace tessaro
