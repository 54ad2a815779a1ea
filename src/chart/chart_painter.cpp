// Painting walks the geometry: one call per colour for the lines, one per text.
#include "chart_painter.h"

#include <QFontMetrics>
#include <QLine>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace tessaro {

namespace {

QLine to_px(const QLineF& l) {
    return QLine(twips_to_px(l.x1()), twips_to_px(l.y1()), twips_to_px(l.x2()), twips_to_px(l.y2()));
}

// On a finer surface: twips to logical pixels unrounded, shifted half a pixel so that a line covers
// the device pixels of the whole pixel it covers at ratio 1.
QLineF to_fine(const QLineF& l) {
    const QPointF half(0.5, 0.5);
    return QLineF(l.p1() / kTwipsPerPixel + half, l.p2() / kTwipsPerPixel + half);
}

bool fine_surface(const QPainter& painter) { return painter.device()->devicePixelRatioF() != 1.0; }

// One colour's lines: whole-pixel lines at ratio 1, as the snapshot always had them; otherwise
// lines one logical pixel wide at the surface's resolution.
template <typename Keep>
void draw_lines(QPainter& painter, const std::vector<QLineF>& twip_lines, const QColor& colour, Keep keep) {
    if (fine_surface(painter)) {
        std::vector<QLineF> lines;
        lines.reserve(twip_lines.size());
        for (const QLineF& l : twip_lines)
            if (const auto c = keep(l)) lines.push_back(to_fine(*c));
        if (lines.empty()) return;
        painter.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::SquareCap));
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        return;
    }
    std::vector<QLine> lines;
    lines.reserve(twip_lines.size());
    for (const QLineF& l : twip_lines)
        if (const auto c = keep(l)) lines.push_back(to_px(*c));
    if (lines.empty()) return;
    painter.setPen(QPen(colour, 0));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

// Curve ends far off the surface are cut at a frame just outside it, keeping each segment's slope.
const QRectF kCurveClip(-2.0 * kTwipsPerPixel, -2.0 * kTwipsPerPixel, kChartWidthTwips + 4.0 * kTwipsPerPixel,
                        kChartHeightTwips + 4.0 * kTwipsPerPixel);

} // namespace

void paint_chart(QPainter& painter, const ChartGeometry& g, const QFont& font) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, kChartWidthPx, kChartHeightPx), kChartBackground);
    draw_lines(painter, g.axis_lines, kChartLineColour, [](const QLineF& l) { return std::optional<QLineF>(l); });

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
    draw_lines(painter, g.curve, g.curve_colour, [](const QLineF& l) { return clip_line(l, kCurveClip); });
}

namespace {
QImage chart_image(qreal ratio) {
    QImage image(QSize(kChartWidthPx, kChartHeightPx) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}
} // namespace

QImage ChartRenderer::render(const ChartInput& in, const QFont& font, qreal ratio) {
    ChartGeometry g = chart_geometry(in);
    if (background_.isNull() || in.curve_mode != mode_ || in.chart_scale != scale_ || font != font_ ||
        ratio != ratio_) {
        ChartGeometry still = g;
        still.curve.clear();
        background_ = chart_image(ratio);
        QPainter painter(&background_);
        paint_chart(painter, still, font);
        mode_ = in.curve_mode;
        scale_ = in.chart_scale;
        font_ = font;
        ratio_ = ratio;
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

QImage render_chart(const ChartInput& in, const QFont& font, qreal ratio) {
    QImage image = chart_image(ratio);
    QPainter painter(&image);
    paint_chart(painter, chart_geometry(in), font);
    painter.end();
    return image;
}

} // namespace tessaro
