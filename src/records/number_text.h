// Number texts and the numeric conventions shared by every subsystem.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaro {

// x rounded to the nearest whole number, halves to the even neighbour.
inline double nearest(double x) { return std::nearbyint(x); }

// "a \ b": both operands rounded with nearest, then divided truncating toward zero.
// Returns nullopt for a zero divisor.
std::optional<int64_t> int_div(double a, double b);

// The plain text of a number: at most 15 significant digits, no exponent, no trailing
// zeros, no point for a whole number, no digit before the point between -1 and 1
// (".05", "-.5"), "0" for zero.
std::string base_text(double x);

// The text the chart prints for a number: a leading blank in place of the sign.
std::string chart_text(double x);

// Reads [blanks][sign]digits[.digits][e[sign]digits][blanks] in the C locale.
// "nan", "inf", hex and empty or blank texts are not numbers. A value too large
// for a double comes back as +-infinity (it is still a number).
std::optional<double> parse_number(std::string_view text);

// units x 10^-decimals as an exact decimal: "0" for zero, a "0" before the point below 1,
// no trailing zeros and no point for a whole number (123 and 4 decimals give "0.0123").
std::string exact_decimal(int64_t units, int decimals);

// nearest(x) when it fits a signed 16-bit integer.
std::optional<int16_t> to_int16(double x);

} // namespace tessaro
