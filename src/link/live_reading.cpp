// Decoding of live frames and the rules that turn a reading count into text, value and curve sample.
#include "live_reading.h"

#include "records/number_text.h"

#include <algorithm>

namespace tessaro {

namespace {

QString text_of(double x) { return QString::fromStdString(base_text(x)); }

// Exactly one decimal: "12.3", "12.0", "0.5", "0.0".
QString one_decimal(int c) {
    QString v = text_of(c / 10.0);
    if (c > 0 && c < 10) v.prepend(QLatin1Char('0'));
    if (c % 10 == 0) v += QLatin1String(".0");
    return v;
}

// Exactly two decimals: "1.23", "1.20", "3.00", "0.05", "0.00".
QString two_decimals(int c) {
    QString v = text_of(c / 100.0);
    if (c > 0 && c < 100) v.prepend(QLatin1Char('0'));
    if (c % 100 == 0)
        v += QLatin1String(".00");
    else if (c % 10 == 0)
        v += QLatin1Char('0');
    return v;
}

} // namespace

LiveFrame decode_live_frame(const QByteArray& bytes) {
    LiveFrame f;
    const auto byte = [&](int i) { return static_cast<uint8_t>(bytes.at(i)); };
    const int n = static_cast<int>(bytes.size());
    f.complete = n >= 3;
    const int b0 = n > 0 ? byte(0) : 0;
    const int b1 = n > 1 ? byte(1) : 0;
    f.low_batt = n > 0 && (b0 & 0x80) != 0;
    f.count = (b0 & 0x7F) * 256 + b1;
    f.range = n > 2 ? byte(2) : 0;
    return f;
}

bool carries_reading(const LiveFrame& frame) { return frame.complete && frame.range != kNoReadingRange; }

QString live_reading_text(int count, uint8_t range) {
    if (!live_range_factor(range)) return {};
    const int c = count;
    QString v;
    QString u;
    switch (range) {
    case 48:
        u = QStringLiteral("A");
        v = text_of(c);
        break;
    case 49:
        u = QStringLiteral("A");
        v = one_decimal(c);
        break;
    case 50:
        u = QStringLiteral("A");
        v = two_decimals(c);
        if (c == 10000) {
            v = QStringLiteral("O  L");
            u.clear();
        }
        break;
    case 51:
        u = QStringLiteral("A");
        if (c == 0) {
            v = QStringLiteral("0.000");
        } else {
            v = text_of(c / 1000.0);
            if (c < 1000) v.prepend(QLatin1Char('0'));
        }
        break;
    case 64:
        u = QStringLiteral("mA");
        v = text_of(c);
        break;
    case 65:
        u = QStringLiteral("mA");
        v = one_decimal(c);
        break;
    case 66:
        u = QStringLiteral("mA");
        v = two_decimals(c);
        break;
    default:
        return {};
    }
    if (c == kOverloadCount) v = QStringLiteral("   OL   ");
    return v + u;
}

std::optional<int64_t> live_range_factor(uint8_t range) {
    switch (range) {
    case 48: return 100000;
    case 49: return 10000;
    case 50: return 1000;
    case 51: return 100;
    case 64: return 100;
    case 65: return 10;
    case 66: return 1;
    default: return std::nullopt;
    }
}

std::optional<int64_t> live_scaled(int count, uint8_t range) {
    const auto factor = live_range_factor(range);
    if (!factor) return std::nullopt;
    return static_cast<int64_t>(count) * *factor;
}

std::optional<double> live_sample_value(int count, uint8_t range) {
    const auto scaled = live_scaled(count, range);
    if (!scaled) return std::nullopt;
    if (count == kOverloadCount) return kOverloadSample;
    if (static_cast<double>(*scaled) < kSampleCeiling) return static_cast<double>(*scaled);
    return std::nullopt;
}

void enter_sample(LiveSamples& live_samples, double s) {
    std::copy(live_samples.begin() + 1, live_samples.begin() + kNewestSample + 1, live_samples.begin());
    live_samples[kNewestSample] = s;
}

void init_live_samples(LiveSamples& live_samples) {
    std::fill(live_samples.begin(), live_samples.begin() + 411, kNoSample);
    std::fill(live_samples.begin() + 411, live_samples.end(), 0.0);
}

} // namespace tessaro
