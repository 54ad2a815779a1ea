#include "serial_device_map.h"

#include "paths.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#include <sys/stat.h>

namespace tessaro {
namespace {

int port_class(const QString& name) {
    if (name.startsWith("ttyUSB")) return 0;
    if (name.startsWith("ttyACM")) return 1;
    return 2;
}

} // namespace

QStringList system_serial_ports() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // Built-in UARTs without a device behind them report no manufacturer and no ids.
        const bool hardware = info.hasVendorIdentifier() || !info.manufacturer().isEmpty() ||
                              !info.serialNumber().isEmpty() || port_class(info.portName()) < 2;
        if (hardware) names << info.portName();
    }
    QCollator natural;
    natural.setNumericMode(true);
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        if (port_class(a) != port_class(b)) return port_class(a) < port_class(b);
        return natural.compare(a, b) < 0;
    });
    QStringList paths;
    for (const QString& n : names) paths << "/dev/" + n;
    return paths;
}

QString stable_device_path(const QString& device) {
    const QDir byId("/dev/serial/by-id");
    const QString target = QFileInfo(device).canonicalFilePath();
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == target) return link.absoluteFilePath();
    }
    return device;
}

QString device_chain_text(const QString& path) {
    if (path.isEmpty()) return {};
    const QFileInfo info(path);
    const QString device = info.canonicalFilePath(); // empty when the path leads nowhere
    QString text = path;
    if (device.isEmpty()) {
        if (info.isSymLink()) text += QStringLiteral(" \u2192 %1 (missing)").arg(info.symLinkTarget());
        return text;
    }
    if (device != path) text += QStringLiteral(" \u2192 ") + device;
    const QString stable = stable_device_path(device);
    if (stable != path && stable != device) text += QStringLiteral(" (%1)").arg(stable);
    return text;
}

namespace {
QString map_entry_of(int n) {
    const QString entry = paths::port_map_entry(n);
    const QFileInfo info(entry);
    return info.isSymLink() || info.exists() ? entry : QString();
}
} // namespace

QString resolve_serial_port(int n, const PortLister& list) {
    if (n < 1 || n > 16) return {};
    if (QString entry = map_entry_of(n); !entry.isEmpty()) return entry;
    const QStringList ports = list();
    if (n > ports.size()) return {};
    return stable_device_path(ports.at(n - 1));
}

QString SerialDeviceMap::resolve(int n) {
    if (n < 1 || n > 16) return {};
    if (QString entry = map_entry_of(n); !entry.isEmpty()) return entry;
    if (n == kept_port_ && !kept_path_.isEmpty() && QFileInfo::exists(kept_path_)) return kept_path_;
    kept_port_ = n;
    kept_path_ = resolve_serial_port(n, [this] { return ports(); });
    return kept_path_;
}

QStringList SerialDeviceMap::ports() {
    const QString stamp = stamp_ ? stamp_() : QString();
    const bool fresh = listed_at_.isValid() && !stamp.isEmpty() && stamp == listed_stamp_
                       && !listed_at_.hasExpired(kRelistMs);
    if (!fresh) {
        ports_ = list_();
        listed_stamp_ = stamp;
        listed_at_.start();
        ++listings_;
    }
    return ports_;
}

QString folders_stamp(const QStringList& folders) {
    QString stamp;
    for (const QString& folder : folders) {
        struct stat st = {};
        if (::stat(QFile::encodeName(folder).constData(), &st) == 0)
            stamp += QStringLiteral("%1.%2;").arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
        else
            stamp += QStringLiteral("-;");
    }
    return stamp;
}

QString device_folders_stamp() {
    return folders_stamp({QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"), QStringLiteral("/dev/serial/by-path")});
}

} // namespace tessaro
