// Curve view rules as pure functions; the window's handlers apply their results.
#include "curve_view.h"

#include "chart_geometry.h"
#include "records/number_text.h"
#include "records/record_store.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tessaro {

namespace {

constexpr std::array<double, 7> kScaleSteps{1, 5, 19, 71, 243, 857, 3000};
constexpr double kMinStart = 23700000;
constexpr int kOverloadCountLow = 3701;
constexpr int kOverloadCountHigh = 4799;
constexpr double kAmpereFrom = 100000; // 1000 mA
constexpr double kDragScaleUpPx = 30;
constexpr double kRealtimeDownPx = 30;
constexpr double kCurveDownPx = 20;
constexpr double kCurveRightPx = 20;
constexpr int kMinWindowSlots = 20;
constexpr double kZeroY = 4780;
constexpr double kTwipsPerPercent = 42;

struct Shown {
    double number;
    const char* unit;
};

// Below 1000 mA in milliamperes; from there on in amperes with one decimal, cut off.
Shown in_unit(double value) {
    if (value < kAmpereFrom) return {value / 100, "mA"};
    return {static_cast<double>(*int_div(value, 10000)) / 10, "A"};
}

QString caption(const QString& prefix, Shown s) {
    return prefix + QString::fromStdString(base_text(s.number)) + QLatin1String(s.unit);
}

double step(double chart_scale, int direction) {
    const auto it = std::find(kScaleSteps.begin(), kScaleSteps.end(), chart_scale);
    if (it == kScaleSteps.end()) return chart_scale;
    const auto i = (it - kScaleSteps.begin()) + direction;
    if (i < 0 || i >= static_cast<long>(kScaleSteps.size())) return chart_scale;
    return kScaleSteps[static_cast<size_t>(i)];
}

} // namespace

double curve_factor(uint8_t range) {
    switch (range) {
    case '0': return 100000;
    case '1': return 10000;
    case '2': return 1000;
    case '3': return 100;
    case '@': return 100;
    case 'A': return 10;
    case 'B': return 1;
    case 'C': return 0.1;
    default: return 1;
    }
}

void build_curve_values(const RecordStore& store, int ji_ge, double* curve_value) {
    std::fill(curve_value, curve_value + kCurveSlots, 0.0);
    const int last = std::min(ji_ge, kCurveSlots - 1);
    for (int i = 0; i <= last; ++i) {
        const auto s = static_cast<size_t>(i);
        const double count = store.rec_value[s];
        double v = count * curve_factor(store.rec_range[s]);
        if (count >= kOverloadCountLow && count <= kOverloadCountHigh) v = kOverloadValue;
        curve_value[i] = std::min(v, kOverloadValue);
    }
}

CurveStats curve_stats(const double* curve_value, double curve_from, double curve_to, bool with_blank) {
    const int first = static_cast<int>(std::max(nearest(curve_from), 0.0));
    const int last = static_cast<int>(std::min(nearest(curve_to) - 2, double(kCurveSlots - 1)));
    double max = 0, min = kMinStart, sum = 0;
    int64_t count = 0;
    for (int s = first; s <= last; ++s) {
        const double v = curve_value[s];
        if (v > max) max = v;
        if (v < min) min = v;
        sum += v; // whole hundredths stay exact in a double far beyond 8001 x 2370000
        ++count;
    }
    if (count == 0) min = 0;
    const double average = count > 0 ? static_cast<double>(*int_div(sum, static_cast<double>(count))) : 0;

    const QString blank = with_blank ? QStringLiteral(" ") : QString();
    CurveStats st;
    const Shown mx = in_unit(max);
    if (std::string_view(mx.unit) == "A" && mx.number == 23.7) st.max_label = QStringLiteral("Max:  OL");
    else st.max_label = caption(QStringLiteral("Max:") + blank, mx);
    st.min_label = caption(QStringLiteral("Min:") + blank, in_unit(min));
    st.avg_label = caption(QStringLiteral("Average:") + blank, in_unit(average));
    return st;
}

double scale_step_up(double chart_scale) { return step(chart_scale, +1); }
double scale_step_down(double chart_scale) { return step(chart_scale, -1); }

int slot_at(double x_twips, double curve_from, double curve_to) {
    const double s = nearest(curve_from + (x_twips - 540) / 9000 * (curve_to - curve_from));
    return static_cast<int>(std::clamp(s, -1.0e9, 1.0e9));
}

DragResult chart_drag(const DragInput& in) {
    DragResult r;
    r.chart_scale = in.chart_scale;
    r.curve_from = in.curve_from;
    r.curve_to = in.curve_to;
    const double up = (in.press.y() - in.release.y()) / double(kTwipsPerPixel);
    const double right = (in.release.x() - in.press.x()) / double(kTwipsPerPixel);

    if (in.curve_mode == kRealtimeMode) {
        if (up > kDragScaleUpPx) r.chart_scale = scale_step_up(r.chart_scale);
        if (-up > kRealtimeDownPx) r.chart_scale = scale_step_down(r.chart_scale);
        r.redraw = true;
        return r;
    }

    if (up > kDragScaleUpPx) {
        r.curve_from = 0;
        r.curve_to = in.ji_ge;
        r.chart_scale = scale_step_up(r.chart_scale);
        r.redraw = true;
        r.show_stats = r.curve_to > 2;
    }
    if (-up > kCurveDownPx) {
        r.chart_scale = scale_step_down(r.chart_scale);
        r.redraw = true;
    }
    if (right > kCurveRightPx) {
        // The window never reaches past the last record, so the plot never reads beyond slot 8000.
        const int e = std::min(slot_at(in.release.x(), r.curve_from, r.curve_to), in.ji_ge);
        const int b = slot_at(in.press.x(), r.curve_from, r.curve_to);
        if (b > 0 && b <= in.ji_ge - 3 && e - b > kMinWindowSlots) {
            r.curve_from = b;
            r.curve_to = e;
            r.redraw = true;
            r.show_stats = r.curve_to > 2;
        }
    }
    return r;
}

std::optional<QString> cursor_readout(QPoint twips, bool inside, double chart_scale) {
    if (!inside || twips.x() < 0 || twips.x() >= kChartWidthTwips || twips.y() < 0 || twips.y() >= kChartHeightTwips)
        return std::nullopt;
    const bool amperes = 7 * chart_scale > 999;
    const double factor = amperes ? 7 : 7000;
    const double percent = nearest((kZeroY - twips.y()) / kTwipsPerPercent);
    const double value = factor * chart_scale * percent / 100000;
    return QString::fromStdString(base_text(value)) + QLatin1String(amperes ? "A" : "mA");
}

} // namespace tessaro
