// Variables of live acquisition, its statistics and the alarm threshold.
#pragma once

#include "link/live_stats.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tessaro {

struct LiveVars {
    uint8_t acq_on = 0;     // 1 acquisition running
    uint8_t live_skip = 0;  // frames since the last restart: 1, 2, then held at 9
    uint8_t low_batt = 0;
    std::array<double, 621> live_samples{}; // window 0..400, 400 the newest (LiveSamples)
    // Running maximum and minimum and the exact average of the readings, in 0.01 mA.
    LiveStats live_stats;
    // The statistics as last shown in Label1, Label2 and Label5.
    Shown max_shown;
    Shown min_shown;
    Shown avg_shown;
};

struct AlarmVars {
    uint8_t lock_on = 0;     // 100 locked
    uint8_t alarm_unit = 0;  // 48 A, 64 mA, 0 none
    uint8_t alarm_hit = 0;   // 100 the latest classified reading was at or above the limit
    uint8_t lamp_phase = 0;
    float alarm_limit = 0.0f; // as typed, in the unit of alarm_unit
    // The locked limit in 0.01 mA, read from the typed decimal; none while nothing is classified.
    std::optional<int64_t> alarm_limit_exact;
    // The entry text of the limit in force, shown again when the panel comes back after a reload.
    QString alarm_text;
};

} // namespace tessaro
