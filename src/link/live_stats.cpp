// Maximum, minimum and exact average of live readings, and the label rules of the live and realtime views.
#include "live_stats.h"

#include "link/live_reading.h"
#include "records/number_text.h"

namespace tessaro {

namespace {

constexpr double kMaxCeiling = 2370000.0;  // readings at or above it never become the maximum
constexpr double kAmpereLabels = 100000.0; // max and min from 1 A on are shown in A
constexpr double kAverageAmpereLabel = 1000.0; // the average from 1000 mA on is shown in A
constexpr double kStartupReading = 6500.0; // the port check's answer, never a first maximum

QString text_of(double x) { return QString::fromStdString(base_text(x)); }

// "\": both operands rounded, then the quotient truncated; the divisors here are never 0.
double whole_div(double a, double b) { return static_cast<double>(int_div(a, b).value_or(0)); }

// Max or min label of the live view.
ShownLabel extreme_label(const QString& name, double value, int c) {
    if (value < kAmpereLabels) return {name + text_of(value * 0.01) + QLatin1String("mA"), value};
    if (c == kOverloadCount) return {name + QLatin1String(" OL"), kShownOverload};
    return {name + text_of(whole_div(value, 1000) * 0.01) + QLatin1String("A"), value};
}

// Max or min label of the realtime view.
QString view_extreme_label(const QString& name, const Shown& shown) {
    const double v = shown_value(shown);
    if (v < kAmpereLabels) return name + text_of(v * 0.01) + QLatin1String("mA");
    if (v == kShownOverload) return name + QLatin1String(" OL");
    return name + text_of(whole_div(v, 1000) * 0.01) + QLatin1String("A");
}

} // namespace

double shown_value(const Shown& shown) {
    if (const auto* d = std::get_if<double>(&shown)) return *d;
    if (const auto* t = std::get_if<QString>(&shown)) return parse_number(t->toStdString()).value_or(0.0);
    return 0.0;
}

QString shown_text(const Shown& shown) {
    if (const auto* d = std::get_if<double>(&shown)) return text_of(*d);
    if (const auto* t = std::get_if<QString>(&shown)) return *t;
    return {};
}

StatLabels view_labels(const Shown& max_shown, const Shown& min_shown, const Shown& avg_shown) {
    StatLabels labels;
    labels.max = view_extreme_label(QStringLiteral("Max: "), max_shown);
    labels.min = view_extreme_label(QStringLiteral("Min: "), min_shown);
    const double avg = shown_value(avg_shown);
    if (avg < kAverageAmpereLabel) {
        labels.avg = std::holds_alternative<std::monostate>(avg_shown)
                         ? QStringLiteral("Average: 0mA")
                         : QLatin1String("Average:") + shown_text(avg_shown) + QLatin1String("mA");
    } else if (avg == kShownOverload) {
        labels.avg = QStringLiteral("Average:  OL");
    } else {
        labels.avg = QLatin1String("Average:") + text_of(whole_div(avg * 100, 1000) / 100) + QLatin1String("A");
    }
    return labels;
}

bool restart_extremes(const Shown& avg_shown) {
    return std::holds_alternative<std::monostate>(avg_shown) || shown_value(avg_shown) == 0.0;
}

void LiveStats::enter(int count, uint8_t range) {
    const auto scaled_or = live_scaled(count, range);
    if (!scaled_or) return;
    const int64_t scaled = *scaled_or;
    const double value = static_cast<double>(scaled);
    const bool overload = count == kOverloadCount;
    const bool no_size = range == 50 && count == 10000; // "O  L"

    if (!overload && !no_size) {
        int64_t sum = 0;
        if (!__builtin_add_overflow(avg_sum_, scaled, &sum)) {
            avg_sum_ = sum;
            ++avg_count_;
        }
    }

    if (value == kShownOverload) stat_max_ = kMaxCeiling;
    if (value < kMaxCeiling && value > stat_max_ && !(stat_max_ == 0.0 && value == kStartupReading))
        stat_max_ = value;

    if (!no_size && (!stat_min_ || value < *stat_min_)) stat_min_ = value;
}

FrameLabels LiveStats::labels(int c) const {
    FrameLabels out;
    out.max = extreme_label(QStringLiteral("Max: "), stat_max_, c);
    if (stat_min_)
        out.min = extreme_label(QStringLiteral("Min: "), *stat_min_, c);
    else
        out.min = {QStringLiteral("Min: 0mA"), std::monostate{}};

    if (const auto avg = average()) {
        const double a = static_cast<double>(*avg) * 0.01;
        const QString a_text = text_of(a);
        if (a < kAverageAmpereLabel)
            out.avg = ShownLabel{QLatin1String("Average: ") + a_text + QLatin1String("mA"), a_text};
        else if (c == kOverloadCount)
            out.avg = ShownLabel{QStringLiteral("Average:  OL"), kShownOverload};
        else
            out.avg = ShownLabel{QLatin1String("Average: ") + text_of(whole_div(nearest(a * 100), 1000) / 100) +
                                     QLatin1String("A"),
                                 a_text};
    } else if (c == kOverloadCount) {
        out.avg = ShownLabel{QStringLiteral("Average:  OL"), kShownOverload};
    }
    return out;
}

void LiveStats::reset_extremes() {
    stat_max_ = 0.0;
    stat_min_.reset();
}

std::optional<int64_t> LiveStats::average() const {
    if (avg_count_ == 0) return std::nullopt;
    return avg_sum_ / avg_count_;
}

} // namespace tessaro
