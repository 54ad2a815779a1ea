#include "port_list.h"

#include "paths.h"
#include "port_lock.h"
#include "serial_device_map.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tessaro {
namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;

QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

QString hex4(quint16 id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')); }

} // namespace

bool brltty_running() {
    const QStringList pids = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid.front().isDigit()) continue;
        QFile comm("/proc/" + pid + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "brltty") return true;
    }
    return false;
}

namespace {

void add_usb_details(PortEntry& e, const QSerialPortInfo& info) {
    e.manufacturer = info.manufacturer();
    e.product = info.description();
    e.serial_number = info.serialNumber();
    if (info.hasVendorIdentifier()) e.vendor_id = hex4(info.vendorIdentifier());
    if (info.hasProductIdentifier()) e.product_id = hex4(info.productIdentifier());
}

} // namespace

namespace {

// What opening the device tells, with its lock files' word on who holds it.
PortAccess open_access(const QByteArray& path, const DeviceLock& lock) {
    // Non-blocking and without a controlling terminal: a modem line never holds the open up.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case EACCES:
        case EPERM: return PortAccess::PermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO: return PortAccess::Missing;
        case EISDIR: return PortAccess::NotSerial;
        default: return PortAccess::Busy;
        }
    }
    PortAccess access = PortAccess::Free;
    int exclusive = 0;
    if (!::isatty(fd)) {
        access = PortAccess::NotSerial;
    } else if (lock.holder) {
        access = PortAccess::Busy;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        access = PortAccess::Busy; // a flock ends with its owner: it is always a live one
    } else if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive && !lock.found) {
        // The owner asked for exclusive use; root gets through it, everybody else does not. A
        // killed program leaves the mode set on a pseudo-terminal, and its lock file behind
        // naming a process that has ended: that device is free for whoever may open it.
        access = PortAccess::Busy;
    }
    ::close(fd);
    return access;
}

} // namespace

PortAccess check_port_access(const QString& device, QString* holder) {
    const QByteArray path = QFile::encodeName(device);
    const QString resolved = canonical(device).isEmpty() ? device : canonical(device);
    const DeviceLock lock = read_device_lock(resolved);
    const PortAccess access = open_access(path, lock);
    if (holder) *holder = access == PortAccess::Busy && lock.holder ? holder_text(*lock.holder) : QString();
    return access;
}

std::vector<PortEntry> list_serial_ports(const QString& in_use_device) {
    std::vector<PortEntry> entries;
    auto entry_for = [&entries](const QString& device) -> PortEntry& {
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [&](const PortEntry& e) { return e.device == device; });
        if (it != entries.end()) return *it;
        PortEntry e;
        e.device = device;
        e.stable = stable_device_path(device);
        entries.push_back(e);
        return entries.back();
    };

    const QStringList system = system_serial_ports();
    for (const QString& device : system) entry_for(canonical(device).isEmpty() ? device : canonical(device));

    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const QFileInfo link(paths::port_map_entry(n));
        if (link.isSymLink() || link.exists()) {
            const QString target = canonical(link.absoluteFilePath());
            if (target.isEmpty()) {
                // A link to a device that is gone: the number reaches nothing.
                PortEntry& e = entry_for(link.symLinkTarget());
                e.stable = e.device;
                e.access = PortAccess::Missing;
                e.numbers << n;
                e.mapped = true;
            } else {
                PortEntry& e = entry_for(target);
                e.numbers << n;
                e.mapped = true;
            }
        } else if (n <= system.size()) {
            const QString target = canonical(system.at(n - 1));
            entry_for(target.isEmpty() ? system.at(n - 1) : target).numbers << n;
        }
    }

    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = canonical(info.systemLocation());
        for (PortEntry& e : entries) {
            if (e.device == device) add_usb_details(e, info);
        }
    }

    const QString in_use = in_use_device.isEmpty() ? QString() : canonical(in_use_device);
    bool brltty_checked = false;
    bool brltty = false;
    for (PortEntry& e : entries) {
        if (e.access == PortAccess::Missing) continue;
        if (!in_use.isEmpty() && e.device == in_use) {
            e.access = PortAccess::InUse;
            continue;
        }
        e.access = check_port_access(e.device, &e.holder);
        if (e.access == PortAccess::Busy) {
            if (!brltty_checked) brltty = brltty_running();
            brltty_checked = true;
            if (brltty && e.holder.isEmpty()) e.access = PortAccess::Brltty;
        }
    }

    // The n-th-port order first (it is the order of the numbers), then the rest by name.
    QCollator natural;
    natural.setNumericMode(true);
    std::stable_sort(entries.begin(), entries.end(), [&](const PortEntry& a, const PortEntry& b) {
        const int ia = system.indexOf(a.device);
        const int ib = system.indexOf(b.device);
        if ((ia < 0) != (ib < 0)) return ia >= 0;
        if (ia >= 0) return ia < ib;
        return natural.compare(a.device, b.device) < 0;
    });
    return entries;
}

QByteArray serial_ports_signature() {
    QByteArray sig;
    const QDir dev("/dev");
    for (const QString& name : dev.entryList({"ttyUSB*", "ttyACM*"}, QDir::System | QDir::Files))
        sig += name.toUtf8() + '\n';
    for (const QFileInfo& link : QDir("/dev/serial/by-id").entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        sig += link.fileName().toUtf8() + '>' + link.symLinkTarget().toUtf8() + '\n';
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const QFileInfo link(paths::port_map_entry(n));
        if (!link.isSymLink() && !link.exists()) continue;
        sig += QByteArray::number(n) + '>' + link.symLinkTarget().toUtf8() + (link.exists() ? "+" : "-") + '\n';
    }
    return sig;
}

QString access_text(PortAccess access) {
    switch (access) {
    case PortAccess::Free: return QStringLiteral("free");
    case PortAccess::InUse: return QStringLiteral("in use by Tessaro");
    case PortAccess::Busy: return QStringLiteral("busy: held by another program");
    case PortAccess::Brltty:
        return QStringLiteral("busy: the braille display service brltty may hold it "
                              "(remove the brltty package if no braille display is used)");
    case PortAccess::PermissionDenied:
        return QStringLiteral("permission denied: add your user to the dialout group and log in again");
    case PortAccess::Missing: return QStringLiteral("missing: the link points at no device");
    case PortAccess::NotSerial: return QStringLiteral("not a serial port");
    }
    return {};
}

QString access_text(const PortEntry& entry) {
    if (entry.access == PortAccess::Busy && !entry.holder.isEmpty())
        return QStringLiteral("busy: held by %1").arg(entry.holder);
    return access_text(entry.access);
}

QString probe_text(ProbeResult probe) {
    switch (probe) {
    case ProbeResult::NotTried: return {};
    case ProbeResult::Meter: return QStringLiteral("meter answers");
    case ProbeResult::NoAnswer: return QStringLiteral("no answer");
    case ProbeResult::WrongAnswer: return QStringLiteral("answers, but not as the meter");
    case ProbeResult::CannotOpen: return QStringLiteral("cannot open");
    }
    return {};
}

QString numbers_text(const QList<int>& numbers) {
    if (numbers.isEmpty()) return QStringLiteral("-");
    QStringList parts;
    for (int n : numbers) parts << QString::number(n);
    return parts.join(QStringLiteral(", "));
}

QString port_line(const PortEntry& e) {
    QStringList usb;
    for (const QString& part : {e.manufacturer, e.product, e.serial_number}) {
        if (!part.isEmpty()) usb << part;
    }
    QStringList fields{e.stable, numbers_text(e.numbers), access_text(e)};
    if (e.probe != ProbeResult::NotTried) fields << probe_text(e.probe);
    fields << usb.join(QStringLiteral(" / "));
    // Tabs and line breaks inside a field (a USB string) would break the columns.
    for (QString& f : fields) f.replace(QRegularExpression(QStringLiteral("[\\t\\r\\n]")), QStringLiteral(" "));
    return fields.join('\t');
}

QByteArray port_json(const PortEntry& e) {
    static const char* const access_keys[] = {"free", "in_use", "busy", "brltty", "permission_denied",
                                              "missing", "not_serial"};
    static const char* const probe_keys[] = {"not_tried", "meter", "no_answer", "wrong_answer", "cannot_open"};
    QJsonArray numbers;
    for (int n : e.numbers) numbers.append(n);
    QJsonObject o{
        {"stable", e.stable},
        {"device", e.device},
        {"manufacturer", e.manufacturer},
        {"product", e.product},
        {"serial_number", e.serial_number},
        {"vendor_id", e.vendor_id},
        {"product_id", e.product_id},
        {"ports", numbers},
        {"mapped", e.mapped},
        {"access", access_keys[static_cast<int>(e.access)]},
        {"access_text", access_text(e)},
    };
    if (!e.holder.isEmpty()) o.insert("holder", e.holder);
    if (e.probe != ProbeResult::NotTried) o.insert("probe", probe_keys[static_cast<int>(e.probe)]);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace tessaro
