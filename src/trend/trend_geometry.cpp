// Envelope, value axis and layout of the trend picture.
#include "trend_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaro::trend {

namespace {

// Outside readings further than this from the plot are drawn toward it at this distance.
constexpr double kFarPx = 1e6;

double clamp_far(double x) { return std::clamp(x, -kFarPx, kFarPx); }

} // namespace

Summary summarize_span(const Recording& rec, int64_t t0, int64_t t1) {
    Summary s;
    for (size_t k = 0; k < rec.runs(); ++k) {
        if (rec.time(rec.run_first(k)) > t1 || rec.time(rec.run_end(k) - 1) < t0) continue;
        s.add(rec.summarize(rec.lower_bound(k, t0), rec.lower_bound(k, t1 + 1)));
    }
    return s;
}

Envelope envelope(const Recording& rec, int64_t t0, int64_t t1, int width) {
    Envelope env;
    if (width < 1 || t1 <= t0) return env;
    const double mpp = static_cast<double>(t1 - t0) / width;
    const int64_t gap = rec.gap_ms();
    auto x_of = [&](int64_t t) { return clamp_far(static_cast<double>(t - t0) / mpp); };
    for (size_t k = 0; k < rec.runs(); ++k) {
        const size_t first = rec.run_first(k), end = rec.run_end(k);
        if (rec.time(first) > t1 || rec.time(end - 1) < t0) continue; // runs are never joined to each other
        size_t lo = rec.lower_bound(k, t0);
        const size_t hi_end = rec.lower_bound(k, t1 + 1);
        bool have_prev = false;
        bool prev_valued = false;
        size_t prev_last = 0;
        // The line joins neighbouring readings that both carry a current and lie no gap apart.
        auto push = [&](EnvelopeColumn c) {
            const bool valued = c.summary.valued > 0 && !(rec.flags(c.first) & kNoValue);
            c.joined = have_prev && prev_valued && valued && c.first == prev_last + 1 &&
                       rec.time(c.first) - rec.time(prev_last) <= gap;
            have_prev = true;
            prev_valued = c.summary.valued > 0 && !(rec.flags(c.last) & kNoValue);
            prev_last = c.last;
            env.columns.push_back(c);
        };
        if (lo > first) {
            EnvelopeColumn c;
            c.first = c.last = lo - 1;
            c.summary = rec.summarize(lo - 1, lo);
            c.x = x_of(rec.time(lo - 1));
            c.outside = true;
            push(c);
        }
        while (lo < hi_end) {
            const int64_t t = rec.time(lo);
            const int col = std::clamp(static_cast<int>(std::floor(static_cast<double>(t - t0) / mpp)), 0, width - 1);
            const int64_t col_end = col == width - 1 ? t1 + 1
                                                     : t0 + static_cast<int64_t>(std::ceil((col + 1) * mpp));
            size_t hi = lo + 1;
            if (hi < hi_end && rec.time(hi) < col_end) {
                // Few readings: step; many: search.
                size_t a = hi, b = hi_end;
                while (a < b) {
                    const size_t mid = a + (b - a) / 2;
                    if (rec.time(mid) < col_end)
                        a = mid + 1;
                    else
                        b = mid;
                }
                hi = a;
            }
            EnvelopeColumn c;
            c.first = lo;
            c.last = hi - 1;
            c.summary = rec.summarize(lo, hi);
            c.x = hi - lo == 1 ? x_of(t) : col + 0.5;
            push(c);
            lo = hi;
        }
        if (hi_end < end) {
            EnvelopeColumn c;
            c.first = c.last = hi_end;
            c.summary = rec.summarize(hi_end, hi_end + 1);
            c.x = x_of(rec.time(hi_end));
            c.outside = true;
            push(c);
        }
    }
    env.in_view = summarize_span(rec, t0, t1);
    return env;
}

std::optional<size_t> nearest_reading(const Recording& rec, int64_t t) {
    std::optional<size_t> best;
    int64_t best_d = 0;
    auto consider = [&](size_t i) {
        const int64_t d = std::abs(rec.time(i) - t);
        if (!best || d < best_d) {
            best = i;
            best_d = d;
        }
    };
    for (size_t k = 0; k < rec.runs(); ++k) {
        const size_t i = rec.lower_bound(k, t);
        if (i < rec.run_end(k)) consider(i);
        if (i > rec.run_first(k)) consider(i - 1);
    }
    return best;
}

ValueAxis value_axis(double lo, double hi, double height_px, double min_gap_px) {
    ValueAxis a;
    if (!(std::isfinite(lo) && std::isfinite(hi) && lo <= hi)) {
        lo = 0;
        hi = 0.01;
    }
    const double pad = hi - lo > 0 ? (hi - lo) * 0.05 : std::max(std::abs(hi) * 0.05, 1e-4);
    a.lo = lo - pad;
    a.hi = hi + pad;
    const bool milli = std::max(std::abs(a.lo), std::abs(a.hi)) < 1.0;
    a.unit = milli ? QStringLiteral("mA") : QStringLiteral("A");
    a.scale = milli ? 1000.0 : 1.0;
    const double dlo = a.lo * a.scale, dhi = a.hi * a.scale;
    const double n = std::max(2.0, height_px / std::max(1.0, min_gap_px));
    const double raw = (dhi - dlo) / n;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * mag;
    for (double f : {1.0, 2.0, 5.0})
        if (f * mag >= raw) {
            step = f * mag;
            break;
        }
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    for (double v = std::ceil(dlo / step) * step; v <= dhi + step * 1e-9; v += step) {
        const double shown = std::abs(v) < step * 1e-6 ? 0.0 : v;
        a.ticks.push_back({shown / a.scale, QString::number(shown, 'f', decimals)});
    }
    return a;
}

QString current_text(double amperes) {
    if (!std::isfinite(amperes)) return QStringLiteral("—");
    const bool milli = std::abs(amperes) < 1.0;
    const double v = milli ? amperes * 1000.0 : amperes;
    const double mag = std::abs(v) * (1 + 1e-6); // a float's 0.01 is 0.0099999998
    const int decimals = mag >= 100 ? 1 : mag >= 10 ? 2 : 3;
    return QString::number(v, 'f', decimals) + (milli ? QStringLiteral(" mA") : QStringLiteral(" A"));
}

TrendPicture trend_picture(const Recording& rec, const TrendRequest& request, const QRectF& target, double char_px,
                           double line_px) {
    TrendPicture p;
    p.target = target;
    p.t0 = request.t0;
    p.t1 = std::max(request.t1, request.t0 + 1);
    p.title = request.title;
    p.line_height = line_px;
    const double top = target.top() + (request.title.isEmpty() ? 0 : line_px + 4) + line_px + 6;
    const double left = target.left() + char_px * 9 + 10;
    const double right = target.right() - char_px * 3;
    const double bottom = target.bottom() - 2 * (line_px + 4) - 4;
    p.plot = QRectF(QPointF(left, top), QPointF(std::max(left + 10, right), std::max(top + 10, bottom)));
    const int width = std::max(1, static_cast<int>(std::floor(p.plot.width())));
    p.envelope = envelope(rec, p.t0, p.t1, width);
    float lo = std::numeric_limits<float>::infinity(), hi = -lo;
    for (const EnvelopeColumn& c : p.envelope.columns) {
        if (c.outside || c.summary.valued == 0) continue;
        lo = std::min(lo, c.summary.min);
        hi = std::max(hi, c.summary.max);
    }
    p.value = value_axis(lo, hi, p.plot.height(), line_px * 2.5);
    p.time = time_axis(p.t0, p.t1, p.plot.width(), char_px, request.zone);
    return p;
}

} // namespace tessaro::trend
