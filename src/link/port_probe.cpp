#include "port_probe.h"

#include "link/mscomm.h"

#include <chrono>

namespace tessaro {
namespace {

constexpr int kProbeAttempts = 2;
constexpr std::chrono::milliseconds kProbeReplyTimeout{1000};
constexpr uint16_t kPortCheckAddress = 6000;
constexpr int kPortCheckAnswer = 6500;
constexpr int kPortCheckReplyBytes = 2;

} // namespace

PortProbe::PortProbe(const QString& device, QObject* parent)
    : QObject(parent), device_(device), port_(new MSComm(this)) {
    timeout_.setSingleShot(true);
    timeout_.setInterval(kProbeReplyTimeout);
    connect(&timeout_, &QTimer::timeout, this, &PortProbe::onTimeout);
    connect(port_, &MSComm::OnComm, this, &PortProbe::onReply);
}

PortProbe::~PortProbe() { port_->setPortOpen(false); }

void PortProbe::start() {
    port_->setDevicePath(device_);
    port_->setSettings(QStringLiteral("4800,n,8,1"));
    if (port_->setPortOpen(true) != 0) {
        finish(ProbeResult::CannotOpen);
        return;
    }
    ask();
}

void PortProbe::ask() {
    ++attempts_;
    port_->setInBufferCount(0);
    port_->setInputLen(kPortCheckReplyBytes);
    port_->setRThreshold(kPortCheckReplyBytes);
    const char request[4] = {0, static_cast<char>(kPortCheckAddress >> 8), 0,
                             static_cast<char>(kPortCheckAddress & 0xFF)};
    port_->Output(QByteArray(request, sizeof request));
    timeout_.start();
}

void PortProbe::onReply() {
    if (done_ || !timeout_.isActive()) return;
    const QByteArray reply = port_->Input();
    port_->setInBufferCount(0);
    timeout_.stop();
    const int v = reply.size() >= 2 ? static_cast<uint8_t>(reply[0]) * 256 + static_cast<uint8_t>(reply[1]) : -1;
    if (v == kPortCheckAnswer) {
        finish(ProbeResult::Meter);
        return;
    }
    wrong_ = true;
    if (attempts_ < kProbeAttempts) ask();
    else finish(ProbeResult::WrongAnswer);
}

void PortProbe::onTimeout() {
    if (done_) return;
    if (attempts_ < kProbeAttempts) ask();
    else finish(wrong_ ? ProbeResult::WrongAnswer : ProbeResult::NoAnswer);
}

void PortProbe::finish(ProbeResult result) {
    timeout_.stop();
    port_->setPortOpen(false);
    done_ = true;
    result_ = result;
    emit finished(result);
}

} // namespace tessaro
