// The running maximum, minimum and average of live readings, and the texts of their three labels.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

namespace tessaro {

// A statistic as last shown: never set, a number (0.01 mA, or 4000000 for OL), or a text (the average in mA).
using Shown = std::variant<std::monostate, double, QString>;

// The value 4000000 stored as a shown statistic means overload.
inline constexpr double kShownOverload = 4000000.0;

// The shown value read as a number: unset is 0, a text is its numeric value (0 when it is none).
double shown_value(const Shown& shown);
// The shown value as joined into a label: unset is empty, a text verbatim, a number its base text.
QString shown_text(const Shown& shown);

struct StatLabels {
    QString max; // Label1
    QString min; // Label2
    QString avg; // Label5
};

// The three labels as the realtime view redraws them from the shown statistics.
StatLabels view_labels(const Shown& max_shown, const Shown& min_shown, const Shown& avg_shown);

// Whether entering the realtime view restarts the running extremes: no average shown yet, or 0.
bool restart_extremes(const Shown& avg_shown);

// A label text with the value it leaves as shown.
struct ShownLabel {
    QString text;
    Shown shown;
};

// The labels after one live frame. avg is empty while no reading has entered the average
// and the frame is no overload: the label and avg_shown then stay as they were.
struct FrameLabels {
    ShownLabel max;
    ShownLabel min;
    std::optional<ShownLabel> avg;
};

// The statistics of the live readings, in 0.01 mA.
//
// What enters:
// - A frame whose range has no factor enters nothing: its bare count is no current.
// - The maximum sees every other frame's scaled value: a scaled 4000000 stands for OL and becomes
//   23.7 A; an overload in another range enters with its scaled value (the range's full scale,
//   which the true current is above), except where the 23.7 A ceiling keeps it out.
// - The minimum sees the same frames except "O  L" (count 10000 in range 50), which says nothing
//   of the current's size; an overload enters with its scaled value, and while the minimum is
//   100 A or more its label reads OL during the overload. The first reading becomes the minimum:
//   there is no start value that a reading has to undercut, so any steady run shows its true minimum.
// - The average is the exact mean of the measured readings: overloads, "O  L" and frames without
//   a factor stay out of the sum and the count, so an overload never skews it.
class LiveStats {
public:
    // Enters one frame that carries a reading (all three bytes, range not 255).
    void enter(int count, uint8_t range);
    // The labels after the frame with reading count c (the OL texts depend on it).
    FrameLabels labels(int c) const;
    // The running extremes start again: maximum 0, no minimum. The average is kept.
    void reset_extremes();

    double stat_max() const { return stat_max_; }
    std::optional<double> stat_min() const { return stat_min_; }
    // The mean in 0.01 mA, truncated to a whole number; nullopt before the first measured reading.
    std::optional<int64_t> average() const;
    int64_t average_count() const { return avg_count_; }

private:
    double stat_max_ = 0.0;
    std::optional<double> stat_min_;
    int64_t avg_sum_ = 0;
    int64_t avg_count_ = 0;
};

} // namespace tessaro
