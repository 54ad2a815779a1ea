// One live reading from the meter: the 3-byte frame, its display text, its value in 0.01 mA and the curve window.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tessaro {

// The reading count that means overload (OL) in every range.
inline constexpr int kOverloadCount = 4000;
// The range byte of a frame that carries no reading.
inline constexpr uint8_t kNoReadingRange = 255;
// The curve value that stands for an overload (23.7 A).
inline constexpr double kOverloadSample = 2370000.0;
// Scaled readings at or above this enter no curve sample.
inline constexpr double kSampleCeiling = 2380000.0;
// A curve entry that holds no sample yet.
inline constexpr double kNoSample = 4200000.0;

inline constexpr int kLiveSamples = 621;   // entries 0..620
inline constexpr int kNewestSample = 400;  // the window is entries 0..400
using LiveSamples = std::array<double, kLiveSamples>;

struct LiveFrame {
    bool complete = false; // all three bytes arrived
    int count = 0;         // (b0 & 0x7F) * 256 + b1; missing bytes count as 0
    uint8_t range = 0;     // b2, 0 when missing
    bool low_batt = false; // bit 7 of b0, false when b0 is missing
};

// Decodes the first three bytes of a live reply; further bytes are ignored.
LiveFrame decode_live_frame(const QByteArray& bytes);

// True when the frame gets past the no-reading checks: all three bytes and a range other than 255.
bool carries_reading(const LiveFrame& frame);

// The display text V + U of a reading ("12.3mA", "0.005A", "O  L", "   OL   mA").
// Ranges without a factor show nothing: their count has no known unit or scale.
QString live_reading_text(int count, uint8_t range);

// The factor that turns a live count of this range into 0.01 mA; nullopt for a range without one.
std::optional<int64_t> live_range_factor(uint8_t range);

// The reading in hundredths of a milliampere; nullopt for a range without a factor,
// whose bare count must not reach the alarm, the curve or the statistics.
std::optional<int64_t> live_scaled(int count, uint8_t range);

// The curve sample of a reading: 2370000 for an overload, the scaled value below 2380000,
// nothing otherwise (and nothing for a range without a factor).
std::optional<double> live_sample_value(int count, uint8_t range);

// Shifts the window 0..400 one place toward 0 (the oldest value drops out) and puts s at 400.
// Entries 401..620 are not touched.
void enter_sample(LiveSamples& live_samples, double s);

// The window at start: entries 0..410 hold no sample, 411..620 are 0.
void init_live_samples(LiveSamples& live_samples);

} // namespace tessaro
