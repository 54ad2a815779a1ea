// Variables of live acquisition, its statistics and the alarm threshold.
#pragma once

#include <array>
#include <cstdint>

namespace tessaro {

struct LiveVars {
    uint8_t acq_on = 0;     // 1 acquisition running
    uint8_t live_skip = 0;  // frames since the last restart: 1, 2, then held at 9
    uint8_t low_batt = 0;
    std::array<double, 621> live_samples{}; // window 0..400, 400 the newest
    double stat_max = 0.0;
    double stat_min = 0.0;
};

struct AlarmVars {
    uint8_t lock_on = 0;     // 100 locked
    uint8_t alarm_unit = 0;  // 48 A, 64 mA, 0 none
    uint8_t alarm_hit = 0;   // 100 the latest classified reading was at or above the limit
    uint8_t lamp_phase = 0;
    float alarm_limit = 0.0f; // as typed, in the unit of alarm_unit
};

} // namespace tessaro
