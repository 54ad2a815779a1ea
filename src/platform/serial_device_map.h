// Maps the port numbers 1..16 to serial devices: the port map folder first, then the system's list.
#pragma once

#include <QString>
#include <QStringList>

namespace tessaro {

// The device path behind port n, or an empty string when there is none.
// A port map entry (even one that points nowhere) always wins; otherwise the n-th serial
// port with hardware behind it, ttyUSB* first, then ttyACM*, then the others, each in
// natural order, named by its stable /dev/serial/by-id path where there is one.
QString resolve_serial_port(int n);

// The system's serial devices in the order above (device paths like /dev/ttyUSB0).
QStringList system_serial_ports();

// The stable name of a device: its /dev/serial/by-id link where one points at it.
QString stable_device_path(const QString& device);

} // namespace tessaro
