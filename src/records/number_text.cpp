#include "number_text.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace tessaro {

std::optional<int64_t> int_div(double a, double b) {
    const double na = nearest(a);
    const double nb = nearest(b);
    if (nb == 0.0) return std::nullopt;
    return static_cast<int64_t>(std::trunc(na / nb));
}

std::string base_text(double x) {
    if (x == 0.0 || !std::isfinite(x)) return "0";
    char buf[64];
    // 15 significant digits: one before the point and fourteen after it.
    std::snprintf(buf, sizeof buf, "%.14e", x);
    std::string s(buf);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const auto epos = s.find('e');
    const int exponent = std::stoi(s.substr(epos + 1));
    std::string digits(1, s[0]);
    digits.append(s, 2, epos - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    const int point = exponent + 1; // digits before the decimal point
    if (point <= 0) {
        out.push_back('.');
        out.append(static_cast<size_t>(-point), '0');
        out.append(digits);
    } else if (static_cast<size_t>(point) >= digits.size()) {
        out.append(digits);
        out.append(static_cast<size_t>(point) - digits.size(), '0');
    } else {
        out.append(digits, 0, static_cast<size_t>(point));
        out.push_back('.');
        out.append(digits, static_cast<size_t>(point));
    }
    return out;
}

std::string chart_text(double x) {
    const std::string t = base_text(x);
    return t[0] == '-' ? t : " " + t;
}

std::optional<double> parse_number(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    auto blank = [&](size_t k) { return k < n && (text[k] == ' ' || text[k] == '\t'); };
    auto digit = [&](size_t k) { return k < n && text[k] >= '0' && text[k] <= '9'; };
    while (blank(i)) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t start = i;
    size_t int_digits = 0, frac_digits = 0;
    while (digit(i)) ++i, ++int_digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (digit(i)) ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t k = i + 1;
        if (k < n && (text[k] == '+' || text[k] == '-')) ++k;
        if (!digit(k)) return std::nullopt;
        while (digit(k)) ++k;
        i = k;
    }
    const size_t end = i;
    while (blank(i)) ++i;
    if (i != n) return std::nullopt;

    double value = 0.0;
    const auto res = std::from_chars(text.data() + start, text.data() + end, value);
    if (res.ec == std::errc::result_out_of_range) {
        // Either overflow or underflow: tell them apart by the exponent's sign.
        const auto epos = text.substr(start, end - start).find_first_of("eE");
        const bool tiny = epos != std::string_view::npos && text[start + epos + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (res.ec != std::errc()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<int16_t> to_int16(double x) {
    if (!std::isfinite(x)) return std::nullopt;
    const double r = nearest(x);
    if (r < -32768.0 || r > 32767.0) return std::nullopt;
    return static_cast<int16_t>(r);
}


std::string exact_decimal(int64_t units, int decimals) {
    const bool negative = units < 0;
    // Digits of the magnitude, computed unsigned so INT64_MIN does not overflow.
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string digits = std::to_string(magnitude);
    if (decimals > 0) {
        const auto d = static_cast<size_t>(decimals);
        if (digits.size() <= d) digits.insert(0, d + 1 - digits.size(), '0');
        digits.insert(digits.size() - d, 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    } else if (magnitude != 0) {
        digits.append(static_cast<size_t>(-decimals), '0');
    }
    if (negative && digits != "0") digits.insert(0, 1, '-');
    return digits;
}

} // namespace tessaro
