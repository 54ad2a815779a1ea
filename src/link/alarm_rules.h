// The alarm threshold: reading the typed limit, classifying a reading against it, and the lamp's blink.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tessaro {

inline constexpr uint8_t kAlarmUnitA = 48;
inline constexpr uint8_t kAlarmUnitMilliA = 64;
inline constexpr uint8_t kAlarmUnitNone = 0;
inline constexpr uint8_t kAlarmHit = 100;
inline constexpr uint8_t kLockOn = 100;

struct LockResult {
    enum Kind { NotANumber, Empty, Locked } kind = Empty;
    // The new alarm_limit: the typed number as a float; 0 after NotANumber; the previous one for Empty.
    float alarm_limit = 0.0f;
    // The typed number is too large for a float: alarm_limit keeps its previous value.
    bool limit_kept = false;
    // The limit in 0.01 mA for Locked with unit A or mA; nullopt when nothing is classified.
    std::optional<int64_t> limit_hundredths;
};

// Reads the alarm entry for Lock. The limit in 0.01 mA comes from the decimal text itself, never
// from the float, so 12.3 mA is exactly 1230. A limit with finer digits than 0.01 mA is rounded up
// (0.005 mA becomes 1): readings are whole hundredths, so "at or above the typed limit" stays true.
// A number too large for a float keeps the previous limit, read in the unit now chosen.
// Limits beyond what any reading can reach are held at the int64 bounds.
LockResult parse_alarm_entry(const QString& text, uint8_t unit, float previous_limit);

// The limit in 0.01 mA of a decimal number text in unit A (48) or mA (64), rounded up;
// nullopt for another unit or a text that is no number.
std::optional<int64_t> alarm_limit_hundredths(const QString& text, uint8_t unit);

// A reading at or above the limit is an alarm.
bool alarm_hit(int64_t scaled, int64_t limit_hundredths);

enum class LampColour { Green, Red, Dark };

// One blink step of the lamp. With the port closed it is steady green and the phase stays;
// with the port open it alternates dark and lit, lit red while alarm_hit is 100, else green.
LampColour lamp_tick(bool port_open, uint8_t alarm_hit, uint8_t& lamp_phase);

} // namespace tessaro
