// The curve view's rules: record currents, window statistics, scale steps, drags and the cursor readout.
#pragma once

#include <QPoint>
#include <QString>

#include <cstdint>
#include <optional>

namespace tessaro {

struct RecordStore;

// Hundredths of a milliampere per reading count of a record with this range code.
double curve_factor(uint8_t range);

// Fills all 8001 slots of curve_value: slots 0..min(ji_ge, 8000) from the records (counts in the
// overload band 3701..4799 as 2370000, every value capped at 2370000), the rest 0.
void build_curve_values(const RecordStore& store, int ji_ge, double* curve_value);

struct CurveStats {
    QString max_label, min_label, avg_label;
};

// Maximum, minimum and exact mean of slots curve_from .. curve_to - 2, as the three label
// captions. with_blank selects the prefixes "Max: " etc. (curve view command) over "Max:" (chart click).
CurveStats curve_stats(const double* curve_value, double curve_from, double curve_to, bool with_blank);

// The scale steps 1, 5, 19, 71, 243, 857, 3000; the ends and any other value stay.
double scale_step_up(double chart_scale);
double scale_step_down(double chart_scale);

// The record slot under x (twips on the chart surface) for the plotted window.
int slot_at(double x_twips, double curve_from, double curve_to);

struct DragInput {
    uint8_t curve_mode = 0;
    QPoint press;   // twips on the chart surface
    QPoint release; // twips on the chart surface
    double chart_scale = 3000;
    double curve_from = 0;
    double curve_to = 0;
    int ji_ge = 1; // as count_records gives it now
};

struct DragResult {
    double chart_scale = 3000;
    double curve_from = 0;
    double curve_to = 0;
    bool redraw = false;
    bool show_stats = false;  // show curve_stats of the new window
    bool stats_blank = false; // prefixes with a blank (never after a drag)
};

// What a press and the following click on the chart change.
DragResult chart_drag(const DragInput& in);

// The current at the cursor's height as "<number><unit>", or nullopt (an empty box) when the
// cursor is not over the chart.
std::optional<QString> cursor_readout(QPoint twips, bool inside, double chart_scale);

} // namespace tessaro
