// The geometry of a trend picture: the envelope of the readings per pixel column, the value axis
// and the layout. Plain structs; painting only walks them.
#pragma once

#include "recording.h"
#include "time_axis.h"

#include <QRectF>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tessaro::trend {

// One pixel column of one run of readings (or a reading just outside the view, to lead the line
// to the edge).
struct EnvelopeColumn {
    double x = 0;             // from the left of the plot, in pixels: the reading's own place when
                              // the column holds one, else the column's middle
    Summary summary;          // of the readings in the column
    size_t first = 0, last = 0; // the first and last reading in it
    bool joined = false;      // the line comes to it from the column before (no gap, no reading without value between)
    bool outside = false;     // a reading beyond the view's edge
};

struct Envelope {
    std::vector<EnvelopeColumn> columns; // run by run, left to right within a run
    Summary in_view;                     // every reading in [t0, t1]
};

// The readings of [t0, t1] spread over width pixel columns: per column the minimum, maximum and
// mean (a spike stays visible at any zoom), with the joins the line may draw.
Envelope envelope(const Recording& rec, int64_t t0, int64_t t1, int width);

// The readings in [t0, t1], over every run.
Summary summarize_span(const Recording& rec, int64_t t0, int64_t t1);

// The index of the reading nearest to t (in time); nullopt for an empty recording.
std::optional<size_t> nearest_reading(const Recording& rec, int64_t t);

struct ValueTick {
    double amperes;
    QString label;
};

struct ValueAxis {
    QString unit;        // "mA" or "A"
    double scale = 1.0;  // amperes to the unit
    double lo = 0, hi = 1; // amperes at the bottom and top of the plot
    std::vector<ValueTick> ticks;
};

// The axis for currents from lo to hi (amperes) over height_px: a little room above and below,
// mA below 1 A, ticks at 1-2-5 steps at least min_gap_px apart.
ValueAxis value_axis(double lo, double hi, double height_px, double min_gap_px);

// A current with its unit for the operator: "12.35 mA", "1.234 A".
QString current_text(double amperes);

// What the picture shows and for whom.
struct TrendRequest {
    int64_t t0 = 0, t1 = 1;  // the span in view
    QTimeZone zone = QTimeZone::systemTimeZone();
    QString title;           // a line above the plot; empty for none
};

// The whole picture's geometry for a target rectangle, given the font's sizes.
struct TrendPicture {
    QRectF target;
    QRectF plot;
    int64_t t0 = 0, t1 = 1;
    TimeAxis time;
    ValueAxis value;
    Envelope envelope;
    QString title;
    double line_height = 0;

    double ms_per_px() const { return static_cast<double>(t1 - t0) / std::max(1.0, plot.width()); }
    double x_of(int64_t t) const { return plot.left() + static_cast<double>(t - t0) / ms_per_px(); }
    int64_t t_of(double x) const { return t0 + static_cast<int64_t>((x - plot.left()) * ms_per_px()); }
    double y_of(double amperes) const {
        return plot.bottom() - (amperes - value.lo) / (value.hi - value.lo) * plot.height();
    }
};

// Lays the picture out: char_px and line_px are the font's average character width and line height.
TrendPicture trend_picture(const Recording& rec, const TrendRequest& request, const QRectF& target, double char_px,
                           double line_px);

} // namespace tessaro::trend
