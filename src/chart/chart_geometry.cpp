// The steps of draw_chart turned into lines and texts.
#include "chart_geometry.h"

#include "records/number_text.h"

#include <algorithm>
#include <cmath>

namespace tessaro {

namespace {

constexpr double kAxisX = 540;
constexpr double kZeroLineY = 4800;
constexpr double kLabelZeroY = 4780; // zero of the scale labels and of the curve
constexpr double kDivision = 600;
constexpr double kCurveSpan = 4180;
constexpr double kPlotWidth = 9000;

bool amperes(double chart_scale) { return 7 * chart_scale > 999; }

std::string scale_label(double chart_scale, int k) {
    if (amperes(chart_scale)) return chart_text(nearest(chart_scale * k * 0.01) / 10);
    return chart_text(chart_scale * k);
}

void add_axes(std::vector<QLineF>& lines) {
    lines.emplace_back(540, 300, 540, 4800);
    lines.emplace_back(540, 4800, 9800, 4800);
    lines.emplace_back(540, 300, 450, 450);
    lines.emplace_back(540, 300, 630, 450);
    lines.emplace_back(9800, 4800, 9650, 4710);
    lines.emplace_back(9800, 4800, 9650, 4890);
}

void add_horizontal_ticks_and_grid(std::vector<QLineF>& lines) {
    for (int i = 1; i <= 150; ++i) {
        const double x = kAxisX + 60 * i;
        lines.emplace_back(x, kZeroLineY, x, 4850);
    }
    // The origin tick is drawn once; repeating it changes no pixel.
    lines.emplace_back(kAxisX, kZeroLineY, kAxisX, 4950);
    for (int i = 150; i >= 10; i -= 10) {
        const double x = kAxisX + 60 * i;
        lines.emplace_back(x, kZeroLineY, x, 4930);
        for (int v = 63; v >= 3; v -= 10) lines.emplace_back(x, 60 * v + 360, x, 60 * v + 480);
    }
}

void add_vertical_ticks_and_grid(std::vector<QLineF>& lines, std::vector<ChartText>& texts, double chart_scale) {
    for (int i = 3; i <= 73; ++i) {
        const double y = 400 + 60 * i;
        lines.emplace_back(kAxisX, y, 490, y);
    }
    for (int k = 1; k <= 7; ++k) {
        const double yk = kLabelZeroY - kDivision * k;
        lines.emplace_back(kAxisX, yk, 390, yk);
        texts.push_back({QPointF(0, yk - 60), scale_label(chart_scale, k)});
        if (k == 1) {
            lines.emplace_back(kAxisX, kZeroLineY, 390, kZeroLineY);
            texts.push_back({QPointF(50, 4740), "0"});
        }
        for (int v = 150; v >= 10; v -= 10) lines.emplace_back(60 * v + 500, yk, 60 * v + 600, yk);
    }
}

void add_live_curve(std::vector<QLineF>& curve, const double* samples, double chart_scale) {
    if (!samples) return;
    curve.reserve(kLiveSamplesShown - 1);
    for (int j = 1; j < kLiveSamplesShown; ++j) {
        const double a = samples[j - 1], b = samples[j];
        if (!(a < kNoSampleFrom) || !(b < kNoSampleFrom)) continue;
        curve.emplace_back(live_x(j - 1), chart_y(a, chart_scale), live_x(j), chart_y(b, chart_scale));
    }
}

void add_history_curve(std::vector<QLineF>& curve, const ChartInput& in) {
    if (!in.curve_value) return;
    const double n = nearest(in.curve_to - in.curve_from - 1);
    if (!(n > 1)) return;
    const double step = kPlotWidth / n;
    // Slots outside 0..8000 do not exist; the window is cut to them.
    const double first = std::max(nearest(in.curve_from + 1), 1.0);
    const double last = std::min(nearest(in.curve_to - 2), double(kCurveSlots - 1));
    if (first > last) return;
    curve.reserve(static_cast<size_t>(last - first + 1));
    for (int u = static_cast<int>(first); u <= static_cast<int>(last); ++u) {
        const double x1 = kAxisX + (u - 1 - in.curve_from) * step;
        const double x2 = kAxisX + (u - in.curve_from) * step;
        curve.emplace_back(x1, chart_y(in.curve_value[u - 1], in.chart_scale), x2,
                           chart_y(in.curve_value[u], in.chart_scale));
    }
}

} // namespace

double chart_y(double v, double chart_scale) { return kLabelZeroY - v / (700 * chart_scale) * kCurveSpan; }

int twips_to_px(double twips) {
    const double px = nearest(twips / kTwipsPerPixel);
    if (std::isnan(px)) return 0;
    // Far-off coordinates only occur for curve ends off the surface; keep them inside int.
    return static_cast<int>(std::clamp(px, -1.0e9, 1.0e9));
}

ChartGeometry chart_geometry(const ChartInput& in) {
    ChartGeometry g;
    g.axis_lines.reserve(512);
    g.texts.reserve(10);
    add_axes(g.axis_lines);

    g.texts.push_back({QPointF(100, 0), amperes(in.chart_scale) ? "I(Current:A)" : "I(Current:mA)"});
    if (in.curve_mode == kRealtimeMode) g.texts.push_back({QPointF(9600, 4990), "   t(0.5S)"});
    else if (in.curve_mode == kCurveMode) g.texts.push_back({QPointF(9600, 4990), "   y(No:)"});

    add_horizontal_ticks_and_grid(g.axis_lines);
    add_vertical_ticks_and_grid(g.axis_lines, g.texts, in.chart_scale);

    if (in.curve_mode == kRealtimeMode) {
        g.curve_colour = kLiveCurveColour;
        add_live_curve(g.curve, in.live_samples, in.chart_scale);
    } else {
        g.curve_colour = kHistoryCurveColour;
        add_history_curve(g.curve, in);
    }
    return g;
}

std::optional<QLineF> clip_line(const QLineF& line, const QRectF& rect) {
    const double x0 = line.x1(), y0 = line.y1();
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(line.x2()) || !std::isfinite(line.y2()))
        return std::nullopt;
    const double dx = line.dx(), dy = line.dy();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - rect.left(), rect.right() - x0, y0 - rect.top(), rect.bottom() - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return std::nullopt;
    }
    return QLineF(x0 + t0 * dx, y0 + t0 * dy, x0 + t1 * dx, y0 + t1 * dy);
}

} // namespace tessaro
