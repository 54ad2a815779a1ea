// The rules of one request/reply exchange with the meter.
#include "meter_exchange.h"

#include "meter_protocol.h"

#include <algorithm>

namespace tessaro {

namespace {
constexpr std::chrono::milliseconds kQuietMargin{50}; // beyond a shifted reply's own wire time
// How long a meter may take to start its reply. Meters answer up to 1 s late; the other half
// second is room for a loaded machine that reads the bytes late. A silent meter costs only the
// cadence of the port check, which then goes out once per time-out instead of every link tick.
constexpr std::chrono::milliseconds kReplyTimeout{1500};
} // namespace

std::chrono::microseconds quiet_time(int bytes) { return kQuietMargin + wire_time(std::max(bytes, 0)); }

std::chrono::microseconds reply_time(int bytes) {
    return wire_time(kRequestBytes + std::max(bytes, 0)) + kReplyTimeout;
}

bool MeterExchange::lineFree(Clock::time_point now) const {
    return (due_bytes_ <= 0 && !unframed_) || now >= until_;
}

void MeterExchange::sent(uint16_t address, Clock::time_point now) {
    due_bytes_ = reply_length(address);
    address_ = address;
    until_ = now + reply_time(due_bytes_);
    abandoned_ = false;
    unframed_ = false;
}

MeterExchange::Take MeterExchange::take(int64_t bytes, Clock::time_point now) {
    Take t;
    const bool live = now < until_;
    t.dropped = live && (abandoned_ || unframed_);
    if (due_bytes_ <= 0) return t;
    due_bytes_ = static_cast<int>(std::max<int64_t>(0, due_bytes_ - bytes));
    t.more_due = due_bytes_ > 0 && live;
    return t;
}

std::optional<uint16_t> MeterExchange::dueAddress(Clock::time_point now) const {
    if (due_bytes_ <= 0 || now >= until_ || abandoned_) return std::nullopt;
    return address_;
}

void MeterExchange::giveUp() {
    if (due_bytes_ > 0 || unframed_) abandoned_ = true;
}

void MeterExchange::holdUntil(Clock::time_point quiet) {
    // The reply has started, so the meter's delay is over: what is left of it, and any stray bytes
    // around it, are off the line by `quiet`.
    until_ = quiet;
    unframed_ = true;
}

void MeterExchange::forget() {
    const std::optional<uint16_t> held = pending;
    *this = MeterExchange{};
    pending = held;
}

void MeterExchange::reset() {
    *this = MeterExchange{};
}

} // namespace tessaro
