// Variables of the chart and the curve view.
#pragma once

#include "chart/chart_painter.h"
#include "chart/snapshot_file.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace tessaro {

struct ChartVars {
    uint8_t curve_mode = 0;     // 100 in the curve view, else 0
    double chart_scale = 0.0;   // mA per division: one of the scale steps
    std::vector<double> curve_value = std::vector<double>(8001, 0.0);
    double curve_from = 0.0;
    double curve_to = 0.0;
    int16_t press_x = 0;        // press position on the chart (pixels)
    int16_t press_y = 0;
    ChartRenderer chart_renderer; // keeps the axes, grid and labels between redraws
    ChartRenderer screen_renderer; // the same at a high-DPI screen's device-pixel ratio
    SnapshotWriter snapshot_writer;
};

} // namespace tessaro
