#include "ns_timer.h"

#include <QSocketNotifier>

#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

namespace tessaro {

NsTimer::NsTimer(QObject* parent) : QObject(parent) {
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &NsTimer::onReadable);
    }
}

NsTimer::~NsTimer() {
    delete notifier_;
    if (fd_ >= 0) ::close(fd_);
}

void NsTimer::start(qint64 ns) {
    if (fd_ < 0) return;
    if (ns < 1) ns = 1; // a zero value would disarm the timer
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    spec.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    active_ = ::timerfd_settime(fd_, 0, &spec, nullptr) == 0;
}

void NsTimer::stop() {
    if (fd_ < 0) return;
    itimerspec spec{};
    ::timerfd_settime(fd_, 0, &spec, nullptr);
    uint64_t expirations = 0;
    while (::read(fd_, &expirations, sizeof expirations) > 0) {
    }
    active_ = false;
}

void NsTimer::onReadable() {
    uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) <= 0) return;
    active_ = false;
    emit timeout();
}

} // namespace tessaro
