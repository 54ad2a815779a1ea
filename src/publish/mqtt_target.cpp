// The broker URL, meter names and topics.
#include "mqtt_target.h"

#include <QFileInfo>
#include <QUrl>

namespace tessaro {

namespace {

constexpr qsizetype kMaxNameLength = 64;
// Above this a topic prefix is more likely a mistake than a plan; the broker's limit is 65535 bytes.
constexpr qsizetype kMaxPrefixLength = 200;

bool name_char(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
}

// Topic levels must not hold wildcards, be empty (a doubled slash) or carry control characters.
bool valid_prefix(const QString& prefix) {
    if (prefix.isEmpty() || prefix.size() > kMaxPrefixLength) return false;
    for (const QString& level : prefix.split(u'/')) {
        if (level.isEmpty()) return false;
        for (const QChar c : level)
            if (c == u'+' || c == u'#' || c.category() == QChar::Other_Control) return false;
    }
    return true;
}

// The user part of scheme://user@host...: "user:" with an empty password still names one.
QString userinfo(const QString& url) {
    const qsizetype start = url.indexOf(QLatin1String("://"));
    if (start < 0) return {};
    const QString authority = url.mid(start + 3).section(u'/', 0, 0);
    const qsizetype at = authority.lastIndexOf(u'@');
    return at < 0 ? QString() : authority.left(at);
}

} // namespace

std::optional<MqttTarget> parse_mqtt_url(const QString& text, QString& error) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        error = QStringLiteral("not a broker URL (mqtt://[user@]host[:port][/prefix] or mqtts://...)");
        return std::nullopt;
    }
    MqttTarget t;
    if (url.scheme() == QLatin1String("mqtts")) {
        t.tls = true;
        t.port = kMqttsPort;
    } else if (url.scheme() != QLatin1String("mqtt")) {
        error = QStringLiteral("the URL must start with mqtt:// or mqtts://");
        return std::nullopt;
    }
    if (!url.password().isEmpty() || userinfo(text.trimmed()).contains(u':')) {
        // A password on a command line is visible to every user of the machine (ps, /proc).
        error = QStringLiteral("no password in the URL: use a password file or TESSARO_MQTT_PASSWORD");
        return std::nullopt;
    }
    if (url.host().isEmpty()) {
        error = QStringLiteral("the URL names no broker host");
        return std::nullopt;
    }
    if (url.hasQuery() || url.hasFragment()) {
        error = QStringLiteral("the URL must not have a query or fragment");
        return std::nullopt;
    }
    t.user = url.userName();
    t.host = url.host();
    t.port = url.port(t.port);
    if (t.port < 1) {
        error = QStringLiteral("the port must be from 1 to 65535");
        return std::nullopt;
    }
    QString path = url.path();
    while (path.startsWith(u'/')) path.remove(0, 1);
    while (path.endsWith(u'/')) path.chop(1);
    if (!path.isEmpty()) {
        if (!valid_prefix(path)) {
            error = QStringLiteral("the topic prefix \"%1\" has an empty level, a wildcard (+ #) or is too long").arg(path);
            return std::nullopt;
        }
        t.prefix = path;
    }
    return t;
}

QString mqtt_url_text(const MqttTarget& t) {
    QUrl url;
    url.setScheme(t.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"));
    url.setUserName(t.user);
    url.setHost(t.host);
    if (t.port != (t.tls ? kMqttsPort : kMqttPort)) url.setPort(t.port);
    url.setPath(u'/' + t.prefix);
    return url.toString();
}

bool valid_meter_name(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength) return false;
    for (const QChar c : name)
        if (!name_char(c)) return false;
    return true;
}

QString meter_name_from_device(const QString& device) {
    QString name = QFileInfo(device).fileName().left(kMaxNameLength);
    for (QChar& c : name)
        if (!name_char(c)) c = u'_';
    return name.count(u'_') == name.size() ? QString() : name;
}

QString meter_name_from_port(int number) { return QStringLiteral("port%1").arg(number); }

MqttTopics mqtt_topics(const QString& prefix, const QString& name) {
    const QString base = prefix + u'/' + name + u'/';
    return {base + QStringLiteral("reading"), base + QStringLiteral("status"), base + QStringLiteral("meter")};
}

QString mqtt_client_id(const QString& name) { return QStringLiteral("tessaro-") + name; }

} // namespace tessaro
