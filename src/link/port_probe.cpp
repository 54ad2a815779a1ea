#include "port_probe.h"

#include "link/meter_exchange.h"
#include "link/meter_protocol.h"
#include "link/mscomm.h"

#include <chrono>

namespace tessaro {
namespace {

constexpr int kProbeAttempts = 2;

} // namespace

PortProbe::PortProbe(const QString& device, QObject* parent)
    : QObject(parent), device_(device), port_(new MSComm(this)) {
    timeout_.setSingleShot(true);
    timeout_.setInterval(std::chrono::ceil<std::chrono::milliseconds>(reply_time(kWordReplyBytes)));
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
    port_->setInputLen(kWordReplyBytes);
    port_->setRThreshold(kWordReplyBytes);
    port_->Output(encode_request(kPortCheckAddress));
    timeout_.start();
}

void PortProbe::onReply() {
    if (done_ || !timeout_.isActive()) return;
    const QByteArray reply = port_->Input();
    port_->setInBufferCount(0);
    timeout_.stop();
    if (is_port_check_answer(reply)) {
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
