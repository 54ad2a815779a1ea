// Publishing settings on disk and their check.
#include "publish_settings.h"

#include "platform/safe_file.h"
#include "platform/serial_device_map.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaro {

namespace {

const QString kSettingsFile = QStringLiteral("mqtt.json");
const QString kPasswordFile = QStringLiteral("mqtt-password");
constexpr qint64 kMaxFile = 64 * 1024;

QByteArray read_small(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(kMaxFile) : QByteArray();
}

} // namespace

PublishRequest load_publish_settings(const QString& folder) {
    PublishRequest r;
    r.url = QStringLiteral("mqtt://localhost");
    const QJsonObject o = QJsonDocument::fromJson(read_small(folder + u'/' + kSettingsFile)).object();
    if (o.value("url").isString()) r.url = o.value("url").toString();
    r.name = o.value("name").toString();
    r.user = o.value("user").toString();
    r.ha_discovery = o.value("ha_discovery").toBool();
    r.password = QString::fromUtf8(read_small(folder + u'/' + kPasswordFile));
    return r;
}

std::optional<QString> save_publish_settings(const PublishRequest& r, const QString& folder) {
    if (!QDir().mkpath(folder)) return QStringLiteral("cannot create the folder %1").arg(folder);
    const QJsonObject o{{"url", r.url}, {"name", r.name}, {"user", r.user}, {"ha_discovery", r.ha_discovery}};
    if (const auto why = write_file_atomically(folder + u'/' + kSettingsFile, QJsonDocument(o).toJson())) return why;
    const QString password_path = folder + u'/' + kPasswordFile;
    if (r.password.isEmpty()) {
        if (QFile::exists(password_path) && !QFile::remove(password_path))
            return QStringLiteral("cannot remove %1").arg(password_path);
        return std::nullopt;
    }
    return write_private_file_atomically(password_path, r.password.toUtf8());
}

std::optional<MqttSettings> mqtt_settings_from(const PublishRequest& r, const QString& default_name, QString& error) {
    const auto target = parse_mqtt_url(r.url, error);
    if (!target) return std::nullopt;
    MqttSettings s;
    s.target = *target;
    if (!r.user.isEmpty()) s.target.user = r.user;
    s.password = r.password;
    if (!s.password.isEmpty() && s.target.user.isEmpty()) {
        error = QStringLiteral("a password needs a user name");
        return std::nullopt;
    }
    s.name = r.name.isEmpty() ? default_name : r.name;
    if (!valid_meter_name(s.name)) {
        error = QStringLiteral("the meter name must be 1 to 64 of the letters A-Z a-z, digits, _ and -");
        return std::nullopt;
    }
    s.ha_discovery = r.ha_discovery;
    return s;
}

QString default_meter_name(int port, const QString& device_path) {
    const QString stable = stable_device_path(device_path);
    if (stable.startsWith(QLatin1String("/dev/serial/by-id/"))) {
        const QString name = meter_name_from_device(stable);
        if (!name.isEmpty()) return name;
    }
    if (port > 0) return meter_name_from_port(port);
    const QString name = meter_name_from_device(device_path);
    return name.isEmpty() ? QStringLiteral("meter") : name;
}

} // namespace tessaro
