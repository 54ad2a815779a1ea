// Painting walks the geometry: one call per colour for the lines, one per text.
#include "chart_painter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLine>
#include <QPainter>

#include <cstdio>
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
    QImage image = background_.copy();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    paint_curve(painter, g);
    return image;
}

QImage render_chart(const ChartInput& in, const QFont& font) {
    QImage image(kChartWidthPx, kChartHeightPx, QImage::Format_RGB32);
    image.setDevicePixelRatio(1.0);
    QPainter painter(&image);
    paint_chart(painter, chart_geometry(in), font);
    painter.end();
    return image;
}

QByteArray bmp_bytes(const QImage& image) {
    // A 24-bit Windows bitmap, rows bottom-up and padded to four bytes, built in one buffer.
    const QImage rgb = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    const int row = (w * 3 + 3) & ~3;
    const quint32 data_size = static_cast<quint32>(row) * static_cast<quint32>(h);
    QByteArray out(54 + static_cast<qsizetype>(data_size), '\0');
    uchar* p = reinterpret_cast<uchar*>(out.data());
    auto put16 = [](uchar* at, quint16 v) { at[0] = v & 0xFF, at[1] = v >> 8; };
    auto put32 = [](uchar* at, quint32 v) {
        for (int i = 0; i < 4; ++i) at[i] = (v >> (8 * i)) & 0xFF;
    };
    p[0] = 'B', p[1] = 'M';
    put32(p + 2, 54 + data_size);
    put32(p + 10, 54);            // pixel data offset
    put32(p + 14, 40);            // BITMAPINFOHEADER
    put32(p + 18, static_cast<quint32>(w));
    put32(p + 22, static_cast<quint32>(h));
    put16(p + 26, 1);             // planes
    put16(p + 28, 24);            // bits per pixel
    put32(p + 38, 3780);          // 96 dpi in pixels per metre
    put32(p + 42, 3780);
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(h - 1 - y));
        uchar* dst = p + 54 + static_cast<qsizetype>(y) * row;
        for (int x = 0; x < w; ++x) {
            *dst++ = static_cast<uchar>(qBlue(src[x]));
            *dst++ = static_cast<uchar>(qGreen(src[x]));
            *dst++ = static_cast<uchar>(qRed(src[x]));
        }
    }
    return out;
}

bool write_snapshot(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty()) return false;
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QDir().mkpath(folder)) return false;
    const QString temp = folder + QLatin1String("/.") + target.fileName() + QLatin1String(".part");
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray bytes = bmp_bytes(image);
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    const bool ok = written && file.error() == QFileDevice::NoError &&
                    std::rename(QFile::encodeName(temp).constData(),
                                QFile::encodeName(target.absoluteFilePath()).constData()) == 0;
    if (!ok) QFile::remove(temp);
    return ok;
}

} // namespace tessaro
