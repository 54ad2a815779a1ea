// The alarm limit read exactly from its decimal text, the classification and the lamp's blink steps.
#include "alarm_rules.h"

#include "records/number_text.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace tessaro {

namespace {

constexpr int64_t kLimitHigh = std::numeric_limits<int64_t>::max();
constexpr int64_t kLimitLow = std::numeric_limits<int64_t>::min();

// Power of ten from the unit to 0.01 mA.
std::optional<int> unit_shift(uint8_t unit) {
    if (unit == kAlarmUnitA) return 5;
    if (unit == kAlarmUnitMilliA) return 2;
    return std::nullopt;
}

// Ceiling of (digits x 10^shift) with the sign, for a text already known to be a number.
int64_t exact_hundredths(const std::string& s, int shift) {
    size_t i = 0;
    const size_t n = s.size();
    auto blank = [&](size_t k) { return k < n && (s[k] == ' ' || s[k] == '\t'); };
    auto digit = [&](size_t k) { return k < n && s[k] >= '0' && s[k] <= '9'; };
    while (blank(i)) ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string digits;
    int64_t frac = 0;
    while (digit(i)) digits += s[i++];
    if (i < n && s[i] == '.') {
        ++i;
        while (digit(i)) digits += s[i++], ++frac;
    }
    int64_t exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool exp_negative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) exp_negative = s[i++] == '-';
        while (digit(i)) {
            // Saturate: any exponent beyond a million already decides the result.
            if (exponent < 1000000) exponent = exponent * 10 + (s[i] - '0');
            ++i;
        }
        if (exp_negative) exponent = -exponent;
    }

    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    digits.erase(0, first);
    // The value is digits x 10^p in 0.01 mA.
    const int64_t p = exponent - frac + shift;
    const int64_t whole_len = static_cast<int64_t>(digits.size()) + p; // digits before the point
    if (whole_len > 18) return negative ? kLimitLow : kLimitHigh;

    int64_t whole = 0;
    bool fraction = false;
    if (p >= 0) {
        for (char d : digits) whole = whole * 10 + (d - '0');
        for (int64_t k = 0; k < p; ++k) whole *= 10;
    } else {
        for (int64_t k = 0; k < static_cast<int64_t>(digits.size()); ++k) {
            if (k < whole_len)
                whole = whole * 10 + (digits[static_cast<size_t>(k)] - '0');
            else if (digits[static_cast<size_t>(k)] != '0')
                fraction = true;
        }
    }
    // Ceiling: a positive value with a fraction goes up; a negative one is truncated toward zero.
    if (negative) return -whole;
    return fraction ? whole + 1 : whole;
}

} // namespace

std::optional<int64_t> alarm_limit_hundredths(const QString& text, uint8_t unit) {
    const auto shift = unit_shift(unit);
    if (!shift) return std::nullopt;
    const std::string s = text.toStdString();
    if (!parse_number(s)) return std::nullopt;
    return exact_hundredths(s, *shift);
}

LockResult parse_alarm_entry(const QString& text, uint8_t unit, float previous_limit) {
    LockResult r;
    if (text.isEmpty()) {
        r.kind = LockResult::Empty;
        r.alarm_limit = previous_limit;
        return r;
    }
    const auto value = parse_number(text.toStdString());
    if (!value) {
        r.kind = LockResult::NotANumber;
        r.alarm_limit = 0.0f;
        return r;
    }
    r.kind = LockResult::Locked;
    if (std::fabs(*value) > static_cast<double>(FLT_MAX)) {
        r.limit_kept = true;
        r.alarm_limit = previous_limit;
        // The shortest text that reads back as the kept float, so 12.3f is taken as 12.3.
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, previous_limit);
        r.limit_hundredths = alarm_limit_hundredths(QString::fromLatin1(buf, res.ptr - buf), unit);
        return r;
    }
    r.alarm_limit = static_cast<float>(*value);
    r.limit_hundredths = alarm_limit_hundredths(text, unit);
    return r;
}

bool alarm_hit(int64_t scaled, int64_t limit_hundredths) { return scaled >= limit_hundredths; }

LampColour lamp_tick(bool port_open, uint8_t alarm_hit, uint8_t& lamp_phase) {
    if (!port_open) return LampColour::Green;
    if (lamp_phase == 1) {
        lamp_phase = 0;
        return alarm_hit == kAlarmHit ? LampColour::Red : LampColour::Green;
    }
    lamp_phase = 1;
    return LampColour::Dark;
}

} // namespace tessaro
