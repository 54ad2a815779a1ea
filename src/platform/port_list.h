// The serial devices of this computer as the Ports window and `tessaro-cli ports` list them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace tessaro {

// Whether a device can be opened now, found without touching its line settings.
enum class PortAccess {
    Free,             // opens
    InUse,            // held by this program's own link: not tried, so it is never disturbed
    Busy,             // held by another program
    Brltty,           // held, and the braille display service brltty runs (it grabs USB adapters)
    PermissionDenied, // the user may not open it (not in the dialout group)
    Missing,          // a port map link that points at nothing
    NotSerial,        // opens, but is no terminal
};

// What a meter probe on the device found.
enum class ProbeResult {
    NotTried,    // no probe asked for, or the device is the one in use
    Meter,       // the port check was answered right
    NoAnswer,    // nothing came back in time
    WrongAnswer, // something answered, but not the meter's answer
    CannotOpen,
};

struct PortEntry {
    QString stable;       // the /dev/serial/by-id name where there is one, else the device path
    QString device;       // the device itself (/dev/ttyUSB0, /dev/pts/7)
    QString manufacturer; // USB maker, product and serial number, empty where unknown
    QString product;
    QString serial_number;
    QString vendor_id;    // "1a86" or empty
    QString product_id;
    QList<int> numbers;   // the port numbers that reach this device now
    bool mapped = false;  // the numbers come from port map links (else from the n-th-port rule)
    PortAccess access = PortAccess::Free;
    QString holder;       // for Busy: the program holding the device ("tessaro-cli (pid 4242)"), where known
    ProbeResult probe = ProbeResult::NotTried;
};

// Every serial device with hardware behind it, every device a port map link points at, and every
// port map link that points nowhere; ordered like the n-th-port rule, then the others by name.
// in_use_device (any path to it) is the device this program holds open: it is not opened again.
std::vector<PortEntry> list_serial_ports(const QString& in_use_device = {});

// A cheap fingerprint of what list_serial_ports would find: changes when devices or links come and go.
QByteArray serial_ports_signature();

// Tries to open the device read-write without changing its settings, and closes it again.
// A lock is taken as held only while its owner lives: the lock file and the terminal's exclusive
// mode that a killed program leaves behind do not make the device busy. holder, when given,
// receives the program holding a busy device where it is known ("tessaro-cli (pid 4242)").
PortAccess check_port_access(const QString& device, QString* holder = nullptr);

// Whether the braille display service brltty runs (it grabs many USB-serial adapters).
bool brltty_running();

// The operator's text of an access state, with the hint that helps ("add your user to the dialout group").
QString access_text(PortAccess access);
// The same for a listed device: a busy one names its holder where it is known.
QString access_text(const PortEntry& entry);
QString probe_text(ProbeResult probe);
// "3", "3, 5" or "-".
QString numbers_text(const QList<int>& numbers);

// One line a device for the command line: tab-separated stable name, numbers, state, probe, USB text.
QString port_line(const PortEntry& entry);
// One JSON object a device (compact, no line break).
QByteArray port_json(const PortEntry& entry);

} // namespace tessaro
