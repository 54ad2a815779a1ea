// The trend as a file: a PNG or SVG picture through the one renderer, and the view's span.
#pragma once

#include "trend_geometry.h"

#include <QByteArray>
#include <QFont>
#include <QSize>
#include <QString>

#include <optional>

namespace tessaro::trend {

enum class PictureFormat { Png, Svg };

// The format a file name asks for by its suffix (.png, .svg, any case); nullopt for another.
std::optional<PictureFormat> picture_format_of(const QString& path);

// The picture's bytes; empty when the encoder failed.
QByteArray render_picture(PictureFormat format, QSize size, const Recording& rec, const TrendRequest& request,
                          const QFont& font);

// A span of time in view.
struct Span {
    int64_t t0 = 0, t1 = 1;
    bool operator==(const Span&) const = default;
};

// The shortest span a view may have.
inline constexpr int64_t kShortestSpanMs = 10;

// Every reading, with a little room at both ends; a minute around a single reading; the last
// minute up to now for none.
Span fit_all(const Recording& rec);
// The span factor times as long, the instant anchor staying where it is on screen.
Span zoom_span(Span s, int64_t anchor, double factor);
// The span moved by fraction of its length (positive: later).
Span pan_span(Span s, double fraction);

} // namespace tessaro::trend
