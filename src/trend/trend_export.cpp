// Pictures of the trend in PNG and SVG, painted by the same renderer as the window.
#include "trend_export.h"

#include "trend_painter.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

namespace tessaro::trend {

namespace {
constexpr int kScreenDpi = 96; // the SVG's units are pixels of a 96-dpi screen, as a browser takes them
constexpr int64_t kLonelySpanMs = 60'000;
// zlib's fastest level: the same pixels, a fifth larger file, a quarter less time than its default
constexpr int kPngQuality = 80;
} // namespace

std::optional<PictureFormat> picture_format_of(const QString& path) {
    if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) return PictureFormat::Png;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) return PictureFormat::Svg;
    return std::nullopt;
}

QByteArray render_picture(PictureFormat format, QSize size, const Recording& rec, const TrendRequest& request,
                          const QFont& font) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QRectF target(QPointF(0, 0), QSizeF(size));
    if (format == PictureFormat::Png) {
        // The pixels in memory of our own, advised as huge pages: painting a fresh 1200 x 600
        // picture otherwise takes a page fault every 4 KB.
        const qsizetype line_bytes = qsizetype{size.width()} * 4;
        const size_t pixel_bytes = (static_cast<size_t>(line_bytes) * static_cast<size_t>(size.height()) +
                                    kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        MemoryBlock pixels;
        try {
            pixels = allocate_block(pixel_bytes);
        } catch (const std::bad_alloc&) {
            return {}; // no memory for the picture: no bytes, as for an encoder that failed
        }
        QImage image(static_cast<uchar*>(pixels.get()), size.width(), size.height(), line_bytes,
                     QImage::Format_RGB32);
        image.setDotsPerMeterX(static_cast<int>(std::lround(kScreenDpi / 0.0254)));
        image.setDotsPerMeterY(image.dotsPerMeterX());
        {
            QPainter p(&image);
            paint_trend(p, target, rec, request, font);
        }
        if (!image.save(&buffer, "PNG", kPngQuality)) return {};
    } else {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(kScreenDpi);
        svg.setTitle(request.title);
        svg.setDescription(QStringLiteral("Tessaro trend"));
        QPainter p;
        if (!p.begin(&svg)) return {};
        paint_trend(p, target, rec, request, font);
        if (!p.end()) return {};
    }
    return bytes;
}

Span fit_all(const Recording& rec) {
    if (rec.size() == 0) {
        const int64_t now = QDateTime::currentMSecsSinceEpoch();
        return {now - kLonelySpanMs, now};
    }
    const int64_t a = rec.earliest(), b = rec.latest();
    if (b - a < kShortestSpanMs) return {a - kLonelySpanMs / 2, b + kLonelySpanMs / 2};
    const int64_t room = std::max<int64_t>(1, (b - a) / 100);
    return {a - room, b + room};
}

Span zoom_span(Span s, int64_t anchor, double factor) {
    const double len = static_cast<double>(s.t1 - s.t0);
    const double new_len = std::max(static_cast<double>(kShortestSpanMs), len * factor);
    const double share = len > 0 ? static_cast<double>(anchor - s.t0) / len : 0.5;
    const int64_t t0 = anchor - static_cast<int64_t>(std::llround(new_len * share));
    return {t0, t0 + static_cast<int64_t>(std::llround(new_len))};
}

Span pan_span(Span s, double fraction) {
    const int64_t d = static_cast<int64_t>(std::llround(static_cast<double>(s.t1 - s.t0) * fraction));
    return {s.t0 + d, s.t1 + d};
}

} // namespace tessaro::trend
