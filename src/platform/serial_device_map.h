// Maps the port numbers 1..16 to serial devices: the port map folder first, then the system's list.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro {

// The system's serial devices with hardware behind them, ttyUSB* first, then ttyACM*, then the
// others, each in natural order (device paths like /dev/ttyUSB0).
QStringList system_serial_ports();

using PortLister = std::function<QStringList()>;

// The device path behind port n, or an empty string when there is none.
// A port map entry (even one that points nowhere) always wins; otherwise the n-th serial
// port of the list, named by its stable /dev/serial/by-id path where there is one.
QString resolve_serial_port(int n, const PortLister& list = system_serial_ports);

// Resolves a port number at every open attempt. The n-th system port is kept by its stable path
// while that path exists, so another adapter coming or going never moves the number; while it is
// absent the system is asked again, so a late adapter (or one back under another name) is found.
class SerialDeviceMap {
public:
    QString resolve(int n);
    // Where the system's ports come from (tests stand in for the system here).
    void setLister(PortLister list) { list_ = std::move(list); }

private:
    PortLister list_ = system_serial_ports;
    int kept_port_ = 0;
    QString kept_path_;
};

// The stable name of a device: its /dev/serial/by-id link where one points at it.
QString stable_device_path(const QString& device);

} // namespace tessaro
