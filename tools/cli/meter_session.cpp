#include "meter_session.h"

#include "link/meter_protocol.h"
#include "link/mscomm.h"

#include <algorithm>
#include <chrono>

namespace tessaro::cli {
namespace {

using Clock = MeterExchange::Clock;

// Quiet long enough for the longest reply still on its way to have ended; given up after the
// longest wait (a device that never stops sending is then talked to all the same).
constexpr std::chrono::milliseconds kSettleQuiet{150};
constexpr std::chrono::milliseconds kSettleLongest{3000};

std::chrono::milliseconds until(Clock::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now());
    return std::max(left, std::chrono::milliseconds(1));
}

} // namespace

MeterSession::MeterSession(MSComm& port, PortChoice choice, QObject* parent)
    : QObject(parent), port_(port), choice_(std::move(choice)) {
    line_free_.setSingleShot(true);
    timeout_.setSingleShot(true);
    connect(&line_free_, &QTimer::timeout, this, &MeterSession::transmit);
    connect(&timeout_, &QTimer::timeout, this, &MeterSession::onTimeout);
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, &MeterSession::onSettled);
    connect(&port_, &MSComm::OnComm, this, &MeterSession::onComm);
}

void MeterSession::requestAfterSettling(uint16_t address) {
    after_settling_ = address;
    port_.setInBufferCount(0);
    port_.setInputLen(0);
    port_.setRThreshold(1);
    settling_.start();
    settle_.start(kSettleQuiet);
}

void MeterSession::onSettled() {
    if (!after_settling_) return;
    const uint16_t address = *after_settling_;
    after_settling_.reset();
    request(address);
}

void MeterSession::request(uint16_t address) {
    address_ = address;
    got_.clear();
    expected_ = reply_length(address);
    transmit();
}

void MeterSession::requestAfterQuiet(uint16_t address) {
    exchange_.holdUntil(Clock::now() + quiet_time(reply_length(address)));
    request(address);
}

void MeterSession::requestAfterLateReplies(uint16_t address) {
    exchange_.holdUntil(Clock::now() + reply_time(reply_length(kFirstPairAddress)));
    request(address);
}

void MeterSession::transmit() {
    if (!address_) return;
    const auto now = Clock::now();
    if (!exchange_.lineFree(now)) {
        // The reply to an earlier request could still arrive: it must not be taken for this one.
        line_free_.start(until(exchange_.freeAt()));
        return;
    }
    if (!port_.PortOpen()) {
        // The device went away: it is looked for again, and the request counts as unanswered.
        exchange_.forget();
        if (open_port(port_, choice_)) {
            timeout_.start(std::chrono::duration_cast<std::chrono::milliseconds>(reply_time(expected_)));
            return;
        }
    }
    port_.setInBufferCount(0);
    port_.setInputLen(expected_);
    port_.setRThreshold(expected_);
    port_.Output(encode_request(*address_));
    exchange_.sent(*address_, now);
    timeout_.start(std::chrono::duration_cast<std::chrono::milliseconds>(reply_time(expected_)));
}

void MeterSession::onComm() {
    if (after_settling_) {
        // Not this program's reply: dropped, and the quiet starts again.
        port_.Input();
        port_.setInBufferCount(0);
        if (!settling_.hasExpired(kSettleLongest.count())) settle_.start(kSettleQuiet);
        return;
    }
    const QByteArray bytes = port_.Input();
    const MeterExchange::Take take = exchange_.take(bytes.size(), Clock::now());
    if (take.dropped || !address_ || !timeout_.isActive()) {
        port_.setInBufferCount(0);
        return;
    }
    got_ += bytes;
    if (take.more_due && got_.size() < expected_) {
        port_.setRThreshold(static_cast<int>(expected_ - got_.size()));
        port_.setInputLen(static_cast<int>(expected_ - got_.size()));
        return;
    }
    port_.setInBufferCount(0);
    timeout_.stop();
    const uint16_t address = *address_;
    address_.reset();
    const QByteArray reply_bytes = got_.left(expected_);
    got_.clear();
    emit reply(address, reply_bytes);
}

void MeterSession::onTimeout() {
    if (!address_) return;
    exchange_.giveUp();
    port_.setInBufferCount(0);
    const uint16_t address = *address_;
    address_.reset();
    got_.clear();
    emit timedOut(address);
}

} // namespace tessaro::cli
