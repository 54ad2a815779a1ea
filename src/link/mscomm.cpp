#include "mscomm.h"

#include "platform/serial_device_map.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro {

MSComm::MSComm(QObject* parent) : QObject(parent) {
    // A zero single-shot timer carries the check: restarting an active one never loses it.
    check_timer_.setSingleShot(true);
    check_timer_.setInterval(0);
    connect(&check_timer_, &QTimer::timeout, this, &MSComm::checkThreshold);
    connect(&port_, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm() { port_.close(); }

bool MSComm::PortOpen() const { return port_.isOpen(); }

bool MSComm::applySettings() {
    // Only "4800,n,8,1" is ever used; parse it anyway so the setting stays honest.
    const QStringList parts = settings_.split(',');
    bool ok = parts.size() == 4;
    const int baud = ok ? parts[0].toInt(&ok) : 0;
    if (!ok) return false;
    const QString parity = parts[1].toLower();
    port_.setBaudRate(baud);
    port_.setParity(parity == "e" ? QSerialPort::EvenParity
                    : parity == "o" ? QSerialPort::OddParity
                                    : QSerialPort::NoParity);
    port_.setDataBits(parts[2] == "7" ? QSerialPort::Data7 : QSerialPort::Data8);
    port_.setStopBits(parts[3] == "2" ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

int MSComm::setPortOpen(bool open) {
    if (!open) {
        if (port_.isOpen()) port_.close();
        return 0;
    }
    if (port_.isOpen()) return kPortAlreadyOpen;
    // Resolved at every attempt: the map entry or the adapter may have appeared since the last.
    device_path_ = fixed_path_.isEmpty() ? device_map_.resolve(comm_port_) : fixed_path_;
    last_failure_ = OpenFailure::None;
    if (device_path_.isEmpty() || !QFileInfo::exists(device_path_)) {
        last_failure_ = OpenFailure::NoSuchPort;
        return kNoSuchPort;
    }
    // The device itself, whatever link named it: Qt's lock file is named after the path, so every
    // spelling of one device (a port map link, a by-id name, /dev/pts/../pts/7) meets one lock.
    const QString resolved = QFileInfo(device_path_).canonicalFilePath();
    port_.setPortName(resolved.isEmpty() ? device_path_ : resolved);
    applySettings();
    if (!port_.open(QIODevice::ReadWrite)) {
        switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError: last_failure_ = OpenFailure::NoSuchPort; break;
        case QSerialPort::PermissionError:
            // Qt reports a device locked by another program as a permission error too: a device
            // the user may read and write is busy, not forbidden.
            last_failure_ = ::access(QFile::encodeName(device_path_).constData(), R_OK | W_OK) == 0
                                ? OpenFailure::Busy
                                : OpenFailure::PermissionDenied;
            break;
        case QSerialPort::OpenError: last_failure_ = OpenFailure::Busy; break;
        case QSerialPort::UnsupportedOperationError: last_failure_ = OpenFailure::NotSerial; break;
        default: last_failure_ = OpenFailure::Other; break;
        }
        port_.clearError();
        return last_failure_ == OpenFailure::NoSuchPort ? kNoSuchPort : kPortOpenFailed;
    }
    // Bytes that waited in the driver before this open belong to nobody's request.
    port_.clear(QSerialPort::Input);
    applySettings(); // some settings only stick on an open port
    port_.clearError(); // line-control calls fail on a pseudo-terminal, which is harmless
    wake_min_ = -1;
    syncWakeThreshold();
    scheduleCheck();
    return 0;
}

void MSComm::setInBufferCount(int n) {
    if (n != 0 || !port_.isOpen()) return;
    port_.clear(QSerialPort::Input);
    syncWakeThreshold();
}

void MSComm::setOutBufferCount(int n) {
    if (n != 0 || !port_.isOpen()) return;
    port_.clear(QSerialPort::Output);
}

int MSComm::InBufferCount() const {
    if (!port_.isOpen()) return 0;
    // Bytes below the wake-up threshold still wait in the driver.
    int in_driver = 0;
    if (::ioctl(port_.handle(), FIONREAD, &in_driver) != 0) in_driver = 0;
    return static_cast<int>(port_.bytesAvailable()) + std::max(in_driver, 0);
}

void MSComm::setRThreshold(int n) {
    r_threshold_ = n;
    syncWakeThreshold();
    scheduleCheck();
}

void MSComm::Output(const QByteArray& bytes) {
    if (!port_.isOpen()) return;
    // Straight to the driver while nothing waits in the port's own queue: a request is a few
    // bytes and the driver takes them at once, without a write notifier armed and disarmed.
    qsizetype done = 0;
    if (port_.bytesToWrite() == 0) {
        while (done < bytes.size()) {
            const ssize_t n = ::write(static_cast<int>(port_.handle()), bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += n;
        }
    }
    if (done == bytes.size()) return;
    port_.write(bytes.constData() + done, bytes.size() - done);
    port_.flush();
}

QByteArray MSComm::Input() {
    if (!port_.isOpen()) return {};
    QByteArray bytes = input_len_ > 0 ? port_.read(input_len_) : port_.readAll();
    taken_in_handler_ += bytes.size();
    return bytes;
}

void MSComm::onReadyRead() {
    if (port_.bytesAvailable() > kMaxHeldInput) port_.clear(QSerialPort::Input);
    scheduleCheck();
}

void MSComm::scheduleCheck() {
    if (!check_timer_.isActive()) check_timer_.start();
}

void MSComm::checkThreshold() {
    raiseIfDue();
    syncWakeThreshold();
}

void MSComm::syncWakeThreshold() {
    // In raw mode with no read timer the driver reports the port readable only once VMIN bytes
    // wait, so a reply arriving byte by byte wakes the program once instead of once a byte.
    // VMIN is what the event still lacks beyond the bytes already taken from the driver; never
    // more, or a reply split across the two could wait forever.
    if (!port_.isOpen()) return;
    const qsizetype lacking = r_threshold_ > 0 ? r_threshold_ - port_.bytesAvailable() : 1;
    // Enough taken in already: the event is raised from those bytes and the level set again after
    // its handler, so the driver is left as it is (a second frame in the same chunk costs nothing).
    if (lacking <= 0 && wake_min_ > 0) return;
    const int want = static_cast<int>(std::clamp<qsizetype>(lacking, 1, 255));
    if (want == wake_min_) return;
    termios tio{};
    const int fd = static_cast<int>(port_.handle());
    if (::tcgetattr(fd, &tio) == 0) {
        tio.c_cc[VMIN] = static_cast<cc_t>(want);
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(fd, TCSANOW, &tio) == 0) {
            wake_min_ = want;
            return;
        }
    }
    wake_min_ = -1; // unknown: tried again on the next check
}

void MSComm::raiseIfDue() {
    if (in_handler_) {
        recheck_after_handler_ = true;
        return;
    }
    if (!port_.isOpen() || r_threshold_ <= 0) return;
    if (port_.bytesAvailable() < r_threshold_) return;
    comm_event_ = kCommEventReceive;
    taken_in_handler_ = 0;
    recheck_after_handler_ = false;
    in_handler_ = true;
    emit OnComm();
    in_handler_ = false;
    // Bytes left waiting raise the event again once the handler took some (or more came while it
    // ran); a handler that took none is raised again by new bytes or a new threshold, never in a loop.
    if (taken_in_handler_ > 0 || recheck_after_handler_) scheduleCheck();
}

void MSComm::onError(QSerialPort::SerialPortError error) {
    // A vanished pseudo-terminal master gives ReadError in a tight loop, an unplugged
    // USB adapter ResourceError: either way the device is gone.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        if (port_.isOpen()) port_.close();
        port_.clearError();
    }
}

} // namespace tessaro
