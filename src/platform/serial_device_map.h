// Maps the port numbers 1..16 to serial devices: the port map folder first, then the system's list.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro {

// The system's serial devices with hardware behind them, ttyUSB* first, then ttyACM*, then the
// others, each in natural order (device paths like /dev/ttyUSB0).
QStringList system_serial_ports();

using PortLister = std::function<QStringList()>;

// The modification times of the folders given (nanoseconds; "-" for a missing one): a device node
// or link made or removed in one of them changes it.
QString folders_stamp(const QStringList& folders);
// The stamp of /dev, /dev/serial/by-id and /dev/serial/by-path.
QString device_folders_stamp();

// The device path behind port n, or an empty string when there is none.
// A port map entry (even one that points nowhere) always wins; otherwise the n-th serial
// port of the list, named by its stable /dev/serial/by-id path where there is one.
QString resolve_serial_port(int n, const PortLister& list = system_serial_ports);

// Resolves a port number at every open attempt. The n-th system port is kept by its stable path
// while that path exists, so another adapter coming or going never moves the number; while it is
// absent the system is asked again, so a late adapter (or one back under another name) is found.
// Asking the system walks every tty in sysfs (thousands of system calls), too much for every open
// attempt of a program left unplugged for hours: it is asked again only when the device folders
// changed (the kernel makes the node in /dev, udev then its links under /dev/serial), and at least
// every half minute in case a system makes neither.
class SerialDeviceMap {
public:
    // Changes whenever the system's list may have changed; empty means "unknown, ask every time".
    using ListStamp = std::function<QString()>;
    static constexpr qint64 kRelistMs = 30000;

    QString resolve(int n);
    // Where the system's ports come from (tests stand in for the system here). Without a stamp the
    // stand-in is asked at every attempt.
    void setLister(PortLister list, ListStamp stamp = {}) {
        list_ = std::move(list);
        stamp_ = std::move(stamp);
        listed_at_.invalidate();
    }
    // How many times the system has been asked (for tests of the above).
    int listings() const { return listings_; }

private:
    QStringList ports();

    PortLister list_ = system_serial_ports;
    ListStamp stamp_ = device_folders_stamp;
    int kept_port_ = 0;
    QString kept_path_;
    QStringList ports_;
    QString listed_stamp_;
    QElapsedTimer listed_at_; // invalid until the system has been asked
    int listings_ = 0;
};

// The stable name of a device: its /dev/serial/by-id link where one points at it.
QString stable_device_path(const QString& device);

// The path a port number resolved to and the device behind it, for the operator:
// "~/.config/tessaro/ports/com1 → /dev/ttyUSB0 (/dev/serial/by-id/usb-…)"; a link that leads
// nowhere shows where it points, marked missing.
QString device_chain_text(const QString& path);

} // namespace tessaro
