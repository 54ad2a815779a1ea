// Hand-written parsing of recording lines: fixed-position ISO times, numbers through from_chars.
#include "recording_lines.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tessaro::trend {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;

bool digit(char c) { return c >= '0' && c <= '9'; }

// Two or four digits at p; -1 when any is no digit.
int two(const char* p) { return digit(p[0]) && digit(p[1]) ? (p[0] - '0') * 10 + (p[1] - '0') : -1; }

// Eight bytes from p, the first in the lowest byte.
uint64_t eight_bytes(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

// The bytes of w that mask marks (0xFF) less '0' each, or nullopt when any of them is no digit.
// Eight at once: a byte below '0' or above '9' sets its top bit in x or in x + 0x76, and a borrow
// or carry across bytes only ever follows such a byte.
std::optional<uint64_t> digit_values(uint64_t w, uint64_t mask) {
    constexpr uint64_t kZeros = 0x3030303030303030u, kUp = 0x7676767676767676u, kTop = 0x8080808080808080u;
    const uint64_t x = (w & mask) - (kZeros & mask);
    if (((x + (kUp & mask)) | x) & kTop & mask) return std::nullopt;
    return x;
}

unsigned byte_at(uint64_t x, int k) { return static_cast<unsigned>(x >> (8 * k)) & 0xFFu; }

// Three digits at p, already checked.
int three(const char* p) { return (p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0'); }

bool leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned days_in_month(int64_t y, unsigned m) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// The alarm column's text to its flag; nullopt for another text.
std::optional<uint8_t> alarm_flag(std::string_view text) {
    if (text == "normal") return kNormal;
    if (text == "alarm") return kAlarm;
    if (text == "not locked") return uint8_t{0};
    return std::nullopt;
}

std::optional<float> parse_amperes(std::string_view text) {
    // A plain decimal ("0.0123", "-12.5", what the live log writes) of at most 15 digits: the digits
    // as an integer divided by a power of ten, both exact, rounded once: the very double from_chars
    // gives, without its cost. Anything else goes through from_chars.
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = text.data();
    const char* end = p + text.size();
    const bool minus = p < end && *p == '-';
    const char* q = p + minus;
    uint64_t digits = 0; // wraps beyond 19 digits, and is not used then
    const char* whole = q;
    while (q < end && digit(*q)) digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
    const ptrdiff_t whole_digits = q - whole;
    ptrdiff_t fraction = 0;
    bool plain = whole_digits > 0;
    if (plain && q < end && *q == '.') {
        const char* first = ++q;
        while (q < end && digit(*q)) digits = digits * 10 + static_cast<uint64_t>(*q++ - '0');
        fraction = q - first;
        plain = fraction > 0;
    }
    if (plain && q == end && whole_digits + fraction <= 15) {
        const double v = static_cast<double>(digits) / kTens[fraction];
        return static_cast<float>(minus ? -v : v);
    }
    double v = 0;
    const auto [at, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || at != end || !std::isfinite(v)) return std::nullopt;
    return static_cast<float>(v);
}

} // namespace

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t& year, unsigned& month, unsigned& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2);
}

std::optional<int64_t> parse_iso_time(std::string_view s, TimeCache* cache) {
    if (s.size() < 20) return std::nullopt;
    const char* p = s.data();
    // The same hour and zone as the time before, milliseconds written out: "MM:SS.mmm" is all to read.
    constexpr size_t kZoneAt = 23;
    if (cache && cache->zone_size && s.size() == kZoneAt + cache->zone_size &&
        std::memcmp(p, cache->hour, sizeof cache->hour) == 0 &&
        std::memcmp(p + kZoneAt, cache->zone, cache->zone_size) == 0) {
        const int mi = two(p + 14), se = two(p + 17);
        if (p[16] == ':' && p[19] == '.' && mi >= 0 && mi <= 59 && se >= 0 && se <= 60 && digit(p[20]) &&
            digit(p[21]) && digit(p[22]))
            return cache->hour_ms + mi * 60'000 + se * 1000 + three(p + 20);
    }
    // "YYYY-MM-" and "DDTHH:MM" a word each: their digits checked at once, then the separators.
    const auto date = digit_values(eight_bytes(p), 0x00FFFF00FFFFFFFFu);
    const auto day_time = digit_values(eight_bytes(p + 8), 0xFFFF00FFFF00FFFFu);
    if (!date || !day_time || p[4] != '-' || p[7] != '-' || (p[10] != 'T' && p[10] != ' ') || p[13] != ':' ||
        p[16] != ':')
        return std::nullopt;
    const int64_t year =
        byte_at(*date, 0) * 1000 + byte_at(*date, 1) * 100 + byte_at(*date, 2) * 10 + byte_at(*date, 3);
    const int mo = static_cast<int>(byte_at(*date, 5) * 10 + byte_at(*date, 6));
    const int d = static_cast<int>(byte_at(*day_time, 0) * 10 + byte_at(*day_time, 1));
    const int h = static_cast<int>(byte_at(*day_time, 3) * 10 + byte_at(*day_time, 4));
    const int mi = static_cast<int>(byte_at(*day_time, 6) * 10 + byte_at(*day_time, 7));
    const int se = two(p + 17);
    if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || se < 0 || se > 60) return std::nullopt;
    if (static_cast<unsigned>(d) > days_in_month(year, static_cast<unsigned>(mo))) return std::nullopt;
    size_t i = 19;
    int64_t ms = 0;
    if (s.size() >= 24 && s[i] == '.' && digit(s[20]) && digit(s[21]) && digit(s[22]) && !digit(s[23])) {
        ms = three(p + 20); // milliseconds, as the live log writes them
        i = 23;
    } else if (s[i] == '.') {
        ++i;
        int n = 0;
        for (; i < s.size() && digit(s[i]); ++i, ++n)
            if (n < 3) ms = ms * 10 + (s[i] - '0');
        if (n == 0) return std::nullopt;
        for (; n < 3; ++n) ms *= 10;
    }
    if (i >= s.size()) return std::nullopt;
    int64_t offset_min = 0;
    if (s[i] == 'Z') {
        ++i;
    } else if (s[i] == '+' || s[i] == '-') {
        if (s.size() - i < 6 || s[i + 3] != ':') return std::nullopt;
        const int oh = two(p + i + 1), om = two(p + i + 4);
        if (oh < 0 || oh > 18 || om < 0 || om > 59) return std::nullopt;
        offset_min = (oh * 60 + om) * (s[i] == '-' ? -1 : 1);
        i += 6;
    } else {
        return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    const int64_t days = days_from_civil(year, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    const int64_t hour_ms = days * kMsPerDay + h * 3'600'000LL - offset_min * 60'000;
    // Kept only for the form read above without a loop: three fraction digits, the zone at kZoneAt.
    if (cache && s.size() > kZoneAt && s.size() - kZoneAt <= sizeof cache->zone && p[19] == '.' &&
        !digit(p[kZoneAt])) {
        std::memcpy(cache->hour, p, sizeof cache->hour);
        cache->zone_size = s.size() - kZoneAt;
        std::memcpy(cache->zone, p + kZoneAt, cache->zone_size);
        cache->hour_ms = hour_ms;
    }
    return hour_ms + (mi * 60LL + se) * 1000 + ms;
}

std::optional<LineReading> parse_csv_line(std::string_view line, TimeCache* cache) {
    LineReading r;
    size_t comma = line.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    r.time_text = line.substr(0, comma);
    const auto t = parse_iso_time(r.time_text, cache);
    if (!t) return std::nullopt;
    r.time_ms = *t;
    line.remove_prefix(comma + 1);

    comma = line.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string_view current = line.substr(0, comma);
    line.remove_prefix(comma + 1);

    // shown: plain, or quoted with doubled quotes inside
    if (!line.empty() && line.front() == '"') {
        size_t i = 1;
        for (;;) {
            if (i >= line.size()) return std::nullopt;
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    i += 2;
                    continue;
                }
                break;
            }
            ++i;
        }
        if (i + 1 >= line.size() || line[i + 1] != ',') return std::nullopt;
        line.remove_prefix(i + 2);
    } else {
        comma = line.find(',');
        if (comma == std::string_view::npos) return std::nullopt;
        line.remove_prefix(comma + 1);
    }
    // overload,low_battery,alarm
    if (line.size() < 5 || line[1] != ',' || line[3] != ',') return std::nullopt;
    if ((line[0] != '0' && line[0] != '1') || (line[2] != '0' && line[2] != '1')) return std::nullopt;
    const auto alarm = alarm_flag(line.substr(4));
    if (!alarm) return std::nullopt;
    r.flags = *alarm;
    if (line[0] == '1') r.flags |= kOverload | kNoValue;
    if (line[2] == '1') r.flags |= kLowBattery;
    if (current.empty()) {
        r.flags |= kNoValue;
    } else {
        const auto a = parse_amperes(current);
        if (!a) return std::nullopt;
        r.amperes = *a;
    }
    return r;
}

namespace {

// A small reader of one flat JSON object; nested values are refused (monitor never writes them).
struct JsonCursor {
    std::string_view s;
    size_t i = 0;

    void blank() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i;
    }
    bool eat(char c) {
        blank();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    // The raw contents of a string (escapes kept); the cursor is on the opening quote.
    std::optional<std::string_view> string() {
        if (!eat('"')) return std::nullopt;
        const size_t start = i;
        while (i < s.size() && s[i] != '"') {
            if (static_cast<unsigned char>(s[i]) < 0x20) return std::nullopt;
            i += s[i] == '\\' ? 2 : 1;
        }
        if (i >= s.size()) return std::nullopt;
        return s.substr(start, i++ - start);
    }
    // A number, true, false or null as its text.
    std::optional<std::string_view> scalar() {
        blank();
        const size_t start = i;
        while (i < s.size() && s[i] != ',' && s[i] != '}' && s[i] != ' ' && s[i] != '\t' && s[i] != '\r') ++i;
        if (i == start) return std::nullopt;
        return s.substr(start, i - start);
    }
};

std::optional<bool> json_bool(std::string_view v) {
    if (v == "true") return true;
    if (v == "false") return false;
    return std::nullopt;
}

std::optional<int> json_int(std::string_view v) {
    int n = 0;
    const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || p != v.data() + v.size()) return std::nullopt;
    return n;
}

} // namespace

std::optional<LineReading> parse_json_line(std::string_view line, JsonExtras* extras) {
    JsonCursor c{line};
    if (!c.eat('{')) return std::nullopt;
    LineReading r;
    bool have_time = false, have_current = false, overload = false, low_battery = false;
    uint8_t alarm = 0;
    if (!c.eat('}')) {
        do {
            const auto key = c.string();
            if (!key || !c.eat(':')) return std::nullopt;
            c.blank();
            if (c.i >= line.size()) return std::nullopt;
            const bool quoted = line[c.i] == '"';
            if (!quoted && (line[c.i] == '{' || line[c.i] == '[')) return std::nullopt;
            const auto value = quoted ? c.string() : c.scalar();
            if (!value) return std::nullopt;
            if (*key == "time") {
                const auto t = quoted ? parse_iso_time(*value) : std::nullopt;
                if (!t) return std::nullopt;
                r.time_ms = *t;
                r.time_text = *value;
                have_time = true;
            } else if (*key == "current_a") {
                if (quoted) return std::nullopt;
                if (*value == "null") {
                    r.flags |= kNoValue;
                } else {
                    const auto a = parse_amperes(*value);
                    if (!a) return std::nullopt;
                    r.amperes = *a;
                    if (extras) extras->current_text = *value;
                }
                have_current = true;
            } else if (*key == "overload" || *key == "low_battery") {
                const auto b = quoted ? std::nullopt : json_bool(*value);
                if (!b) return std::nullopt;
                (*key == "overload" ? overload : low_battery) = *b;
            } else if (*key == "alarm") {
                const auto a = quoted ? alarm_flag(*value) : std::nullopt;
                if (!a) return std::nullopt;
                alarm = *a;
            } else if (extras && *key == "count" && !quoted) {
                extras->count = json_int(*value);
            } else if (extras && *key == "range_code" && !quoted) {
                extras->range_code = json_int(*value);
            } else if (extras && *key == "shown" && quoted) {
                extras->shown = *value;
            }
        } while (c.eat(','));
        if (!c.eat('}')) return std::nullopt;
    }
    c.blank();
    if (c.i != line.size() || !have_time || !have_current) return std::nullopt;
    r.flags |= alarm;
    if (overload) r.flags |= kOverload | kNoValue;
    if (low_battery) r.flags |= kLowBattery;
    return r;
}

} // namespace tessaro::trend
