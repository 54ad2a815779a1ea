// Painting the trend picture: shading, band, mean line, marks, then the axes.
#include "trend_painter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>

namespace tessaro::trend {

namespace {

constexpr double kMarkPx = 5.0; // size of the OL triangles
constexpr double kDotPx = 2.0;  // radius of a reading joined to nothing

void paint_low_battery(QPainter& p, const TrendPicture& pic, const TrendColours& c) {
    const auto& cols = pic.envelope.columns;
    const double left = pic.plot.left();
    std::vector<std::pair<double, double>> spans;
    auto add = [&](double a, double b) {
        if (!spans.empty() && a <= spans.back().second + 0.5)
            spans.back().second = std::max(spans.back().second, b);
        else
            spans.emplace_back(a, b);
    };
    for (size_t i = 0; i < cols.size(); ++i) {
        const EnvelopeColumn& col = cols[i];
        const double x = left + col.x;
        // A low-battery reading stands until the next one it is joined to.
        if (i > 0 && col.joined && (pic.envelope.columns[i - 1].summary.flags & kLowBattery) &&
            !cols[i - 1].outside)
            add(left + cols[i - 1].x, x);
        if ((col.summary.flags & kLowBattery) && !col.outside) add(x - 0.5, x + 0.5);
    }
    for (const auto& [a, b] : spans)
        p.fillRect(QRectF(QPointF(a, pic.plot.top()), QPointF(std::max(b, a + 1), pic.plot.bottom())), c.low_battery);
}

void paint_data(QPainter& p, const TrendPicture& pic, const TrendColours& c) {
    const auto& cols = pic.envelope.columns;
    const double left = pic.plot.left();
    // The band: one vertical stroke per column holding more than one value.
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen band(c.band, 1.0);
    band.setCosmetic(true);
    p.setPen(band);
    for (const EnvelopeColumn& col : cols) {
        if (col.summary.valued < 2 || col.outside) continue;
        const double x = left + std::floor(col.x);
        p.drawLine(QLineF(x + 0.5, pic.y_of(col.summary.max), x + 0.5, pic.y_of(col.summary.min)));
    }
    // The mean line, broken at gaps and at readings without a value.
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen line(c.line, 1.0);
    line.setCosmetic(true);
    p.setPen(line);
    p.setBrush(c.line);
    QPolygonF chain;
    auto flush = [&] {
        if (chain.size() == 1) {
            if (pic.plot.contains(chain.front())) p.drawEllipse(chain.front(), kDotPx, kDotPx);
        } else if (chain.size() > 1) {
            p.drawPolyline(chain);
        }
        chain.clear();
    };
    for (const EnvelopeColumn& col : cols) {
        if (!col.joined) flush();
        if (col.summary.valued == 0) continue;
        chain << QPointF(left + col.x, pic.y_of(col.summary.mean()));
    }
    flush();
    p.setBrush(Qt::NoBrush);

    // Overload at the top edge; where the time goes backwards, a dashed line.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(c.overload);
    double last_mark = -1e9;
    for (const EnvelopeColumn& col : cols) {
        if (!(col.summary.flags & kOverload) || col.outside) continue;
        const double x = left + col.x;
        if (x - last_mark < 1.0) continue;
        last_mark = x;
        const double top = pic.plot.top();
        p.drawPolygon(QPolygonF({QPointF(x - kMarkPx, top), QPointF(x + kMarkPx, top), QPointF(x, top + kMarkPx * 1.6)}));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen dashed(c.backwards, 1.0, Qt::DashLine);
    dashed.setCosmetic(true);
    p.setPen(dashed);
    p.setBrush(Qt::NoBrush);
    for (const EnvelopeColumn& col : cols) {
        if (!(col.summary.flags & kBackwards) || col.outside) continue;
        const double x = left + col.x;
        p.drawLine(QLineF(x, pic.plot.top(), x, pic.plot.bottom()));
    }
}

void paint_axes(QPainter& p, const TrendPicture& pic, const TrendColours& c, const QFontMetricsF& fm) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(c.ink);
    p.setBrush(Qt::NoBrush);
    p.drawRect(pic.plot);
    const double lh = pic.line_height;
    // Value labels left of the plot, the unit above them.
    for (const ValueTick& t : pic.value.ticks) {
        const double y = pic.y_of(t.amperes);
        p.drawLine(QLineF(pic.plot.left() - 4, y, pic.plot.left(), y));
        const QRectF box(pic.target.left(), y - lh / 2, pic.plot.left() - pic.target.left() - 6, lh);
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, t.label);
    }
    p.drawText(QRectF(pic.target.left(), pic.plot.top() - lh - 4, pic.plot.left() - pic.target.left() - 6, lh),
               Qt::AlignRight | Qt::AlignBottom, pic.value.unit);
    if (!pic.title.isEmpty())
        p.drawText(QRectF(pic.plot.left(), pic.target.top() + 2, pic.plot.width(), lh), Qt::AlignLeft | Qt::AlignTop,
                   fm.elidedText(pic.title, Qt::ElideMiddle, pic.plot.width()));
    // Time labels under the plot, dates under them; a label that would overlap the one before is left out.
    const double row1 = pic.plot.bottom() + 4, row2 = row1 + lh + 2;
    double free_from = -1e9;
    for (const TimeTick& t : pic.time.ticks) {
        const double x = pic.x_of(t.t_ms);
        if (x < pic.plot.left() - 0.5 || x > pic.plot.right() + 0.5) continue;
        p.drawLine(QLineF(x, pic.plot.bottom(), x, pic.plot.bottom() + 4));
        const double w = fm.horizontalAdvance(t.label);
        const double l = std::clamp(x - w / 2, pic.target.left(), pic.target.right() - w);
        if (l < free_from) continue;
        p.drawText(QRectF(l, row1, w + 1, lh), Qt::AlignLeft | Qt::AlignTop, t.label);
        free_from = l + w + fm.horizontalAdvance(QStringLiteral("  "));
    }
    free_from = -1e9;
    for (const DateMark& d : pic.time.dates) {
        const double x = std::max(pic.x_of(d.t_ms), pic.plot.left());
        const double w = fm.horizontalAdvance(d.label);
        const double l = std::min(x, pic.target.right() - w);
        if (l < free_from) continue;
        p.drawText(QRectF(l, row2, w + 1, lh), Qt::AlignLeft | Qt::AlignTop, d.label);
        free_from = l + w + fm.horizontalAdvance(QStringLiteral("   "));
    }
}

} // namespace

TrendPicture paint_trend(QPainter& p, const QRectF& target, const Recording& rec, const TrendRequest& request,
                         const QFont& font, const TrendColours& colours) {
    p.save();
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    TrendPicture pic = trend_picture(rec, request, target, fm.averageCharWidth(), fm.height());
    p.fillRect(target, colours.background);
    // Grid lines under the data.
    QPen grid(colours.grid, 1.0);
    grid.setCosmetic(true);
    p.setPen(grid);
    for (const ValueTick& t : pic.value.ticks) p.drawLine(QLineF(pic.plot.left(), pic.y_of(t.amperes), pic.plot.right(), pic.y_of(t.amperes)));
    for (const TimeTick& t : pic.time.ticks) {
        const double x = pic.x_of(t.t_ms);
        if (x >= pic.plot.left() && x <= pic.plot.right()) p.drawLine(QLineF(x, pic.plot.top(), x, pic.plot.bottom()));
    }
    p.save();
    p.setClipRect(pic.plot);
    paint_low_battery(p, pic, colours);
    paint_data(p, pic, colours);
    if (rec.size() == 0) {
        p.setPen(colours.ink);
        p.drawText(pic.plot, Qt::AlignCenter, QStringLiteral("No readings"));
    }
    p.restore();
    paint_axes(p, pic, colours, fm);
    p.restore();
    return pic;
}

} // namespace tessaro::trend
