// One line of a recording: the live log's CSV line or a JSON line of `tessaro-cli monitor --json`,
// parsed by hand (no allocation, no QDateTime) because a week of readings is over a million lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaro::trend {

// The flags of one reading, one byte a reading in the column store.
enum ReadingFlag : uint8_t {
    kOverload = 1,   // the meter showed OL
    kLowBattery = 2, // the meter reported a low battery
    kNoValue = 4,    // no current: overload, or a range without a factor
    kAlarm = 8,      // a threshold was locked and the reading was at or above it
    kNormal = 16,    // a threshold was locked and the reading was below it
    kBackwards = 32, // earlier than the reading before it in the file (set by the store)
};

// The header line of the live log, without its line end.
inline constexpr std::string_view kLiveLogHeader = "time,current_a,shown,overload,low_battery,alarm";

// A reading as the line gives it. `time_text` points into the line.
struct LineReading {
    int64_t time_ms = 0;     // milliseconds since 1970 UTC
    float amperes = 0.0f;    // meaningless with kNoValue
    uint8_t flags = 0;
    std::string_view time_text;
};

// The hour and zone of the last time read in full ("2026-12-10T17:" and "+01:00"): a live log's next
// lines mostly share them, and then only their minutes, seconds and milliseconds are read.
struct TimeCache {
    char hour[14] = {};
    char zone[6] = {};
    size_t zone_size = 0; // 0: nothing cached yet
    int64_t hour_ms = 0;  // the hour's start, milliseconds since 1970 UTC
};

// "2026-12-10T17:05:03.120+01:00" (a blank instead of the T, no or 1..9 fraction digits, "Z" or
// ±HH:MM) to milliseconds since 1970 UTC; the offset comes from the text. nullopt when the text is
// no such time or names an impossible date. cache, when given, is used and updated.
std::optional<int64_t> parse_iso_time(std::string_view text, TimeCache* cache = nullptr);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day);
void civil_from_days(int64_t days, int64_t& year, unsigned& month, unsigned& day);

// A live-log line without its line end: time,current_a,shown,overload,low_battery,alarm.
std::optional<LineReading> parse_csv_line(std::string_view line, TimeCache* cache = nullptr);

// A JSON line: an object with "time" and "current_a" (a number or null); "overload",
// "low_battery" (true/false) and "alarm" ("alarm", "normal", "not locked") when present.
// count and range_code, when present, are returned for rewriting the line as CSV.
struct JsonExtras {
    std::optional<int> count;
    std::optional<int> range_code;
    std::string_view shown;          // raw JSON string contents (escapes left as they are)
    std::string_view current_text;   // the number as written; empty for null
};
std::optional<LineReading> parse_json_line(std::string_view line, JsonExtras* extras = nullptr);

} // namespace tessaro::trend
