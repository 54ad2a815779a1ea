// The chart's picture as plain data: every line and text in twips, computed from the chart state.
#pragma once

#include <QColor>
#include <QLineF>
#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

inline constexpr int kChartWidthTwips = 10935;
inline constexpr int kChartHeightTwips = 5415;
inline constexpr int kTwipsPerPixel = 15;
inline constexpr int kChartWidthPx = kChartWidthTwips / kTwipsPerPixel;   // 729
inline constexpr int kChartHeightPx = kChartHeightTwips / kTwipsPerPixel; // 361
inline constexpr int kLiveSamplesShown = 401;  // live_samples entries 0..400
inline constexpr int kCurveSlots = 8001;       // curve_value slots 0..8000
inline constexpr double kNoSampleFrom = 4100000;   // a live entry at or above this holds no reading
inline constexpr double kOverloadValue = 2370000; // 23.7 A, the value that stands for OL
inline constexpr uint8_t kRealtimeMode = 0;
inline constexpr uint8_t kCurveMode = 100;

inline const QColor kChartBackground{64, 64, 64};
inline const QColor kChartLineColour{255, 255, 255};
inline const QColor kLiveCurveColour{0, 192, 0};
inline const QColor kHistoryCurveColour{0, 255, 0};

struct ChartInput {
    uint8_t curve_mode = kRealtimeMode; // 0 realtime view, 100 curve view
    double chart_scale = 3000;          // milliamperes per vertical division
    const double* live_samples = nullptr; // at least 401 entries, hundredths of a mA
    const double* curve_value = nullptr;  // 8001 slots, hundredths of a mA
    double curve_from = 0;
    double curve_to = 0;
};

// A text placed by its top-left corner.
struct ChartText {
    QPointF twips;
    std::string text;
};

struct ChartGeometry {
    std::vector<QLineF> axis_lines; // axes, arrow heads, ticks and grid dashes, in the line colour
    std::vector<ChartText> texts;   // captions and scale labels, in the line colour
    std::vector<QLineF> curve;      // curve segments, unclipped
    QColor curve_colour;
};

// Everything draw_chart puts on the surface, in drawing order.
ChartGeometry chart_geometry(const ChartInput& in);

// y of a current v (hundredths of a mA) on the surface.
double chart_y(double v, double chart_scale);
// x of live entry j (0..400).
inline double live_x(int j) { return 530 + 22.5 * (j + 1); }

// Twips to the nearest whole pixel (halves to even), as the surface rasterises them.
int twips_to_px(double twips);

// The part of a segment inside rect, or nullopt when none of it is (Liang-Barsky).
std::optional<QLineF> clip_line(const QLineF& line, const QRectF& rect);

} // namespace tessaro
