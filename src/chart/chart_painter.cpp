// Painting walks the geometry: one call per colour for the lines, one per text.
#include "chart_painter.h"

#include <QFontMetrics>
#include <QLine>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <vector>

namespace tessaro {

namespace {

QLine to_px(const QLineF& l) {
    return QLine(twips_to_px(l.x1()), twips_to_px(l.y1()), twips_to_px(l.x2()), twips_to_px(l.y2()));
}

// Curve ends far off the surface are cut at a frame just outside it, keeping each segment's slope.
const QRectF kCurveClip(-2.0 * kTwipsPerPixel, -2.0 * kTwipsPerPixel, kChartWidthTwips + 4.0 * kTwipsPerPixel,
                        kChartHeightTwips + 4.0 * kTwipsPerPixel);

} // namespace

void paint_chart(QPainter& painter, const ChartGeometry& g, const QFont& font) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, kChartWidthPx, kChartHeightPx), kChartBackground);

    std::vector<QLine> lines;
    lines.reserve(g.axis_lines.size() > g.curve.size() ? g.axis_lines.size() : g.curve.size());
    for (const QLineF& l : g.axis_lines) lines.push_back(to_px(l));
    painter.setPen(QPen(kChartLineColour, 0));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));

    paint_texts(painter, g, font);
    paint_curve(painter, g);
}

void paint_texts(QPainter& painter, const ChartGeometry& g, const QFont& font) {
    painter.setFont(font);
    const int ascent = QFontMetrics(font, painter.device()).ascent();
    for (const ChartText& t : g.texts)
        painter.drawText(QPoint(twips_to_px(t.twips.x()), twips_to_px(t.twips.y()) + ascent),
                         QString::fromStdString(t.text));
}

void paint_curve(QPainter& painter, const ChartGeometry& g) {
    std::vector<QLine> lines;
    lines.reserve(g.curve.size());
    for (const QLineF& l : g.curve)
        if (const auto c = clip_line(l, kCurveClip)) lines.push_back(to_px(*c));
    if (!lines.empty()) {
        painter.setPen(QPen(g.curve_colour, 0));
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
}

QImage ChartRenderer::render(const ChartInput& in, const QFont& font) {
    ChartGeometry g = chart_geometry(in);
    if (background_.isNull() || in.curve_mode != mode_ || in.chart_scale != scale_ || font != font_) {
        ChartGeometry still = g;
        still.curve.clear();
        background_ = QImage(kChartWidthPx, kChartHeightPx, QImage::Format_RGB32);
        background_.setDevicePixelRatio(1.0);
        QPainter painter(&background_);
        paint_chart(painter, still, font);
        mode_ = in.curve_mode;
        scale_ = in.chart_scale;
        font_ = font;
    }
    // The frame buffer is reused when nobody else holds it any more (the caller lets go of the last
    // frame first): one chart's memory instead of a new one allocated and freed per sample.
    if (frame_.isNull() || !frame_.isDetached() || frame_.size() != background_.size() ||
        frame_.format() != background_.format()) {
        frame_ = QImage(background_.size(), background_.format());
        frame_.setDevicePixelRatio(background_.devicePixelRatio());
    }
    std::memcpy(frame_.bits(), background_.constBits(), static_cast<size_t>(background_.sizeInBytes()));
    QPainter painter(&frame_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    paint_curve(painter, g);
    painter.end();
    return frame_;
}

QImage render_chart(const ChartInput& in, const QFont& font) {
    QImage image(kChartWidthPx, kChartHeightPx, QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    QPainter painter(&image);
    paint_chart(painter, chart_geometry(in), font);
    painter.end();
    return image;
}

} // namespace tessaro
