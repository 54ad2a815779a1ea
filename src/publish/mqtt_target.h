// Where readings go: the broker address from an mqtt:// URL, the meter's name and the topics built from both.
#pragma once

#include <QString>

#include <optional>

namespace tessaro {

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttsPort = 8883;
inline const QString kDefaultTopicPrefix = QStringLiteral("tessaro");
inline const QString kDefaultDiscoveryPrefix = QStringLiteral("homeassistant");

// mqtt://[user@]host[:port][/prefix] or mqtts://... (TLS).
struct MqttTarget {
    bool tls = false;
    QString user;                        // empty: no user name is sent
    QString host;
    int port = kMqttPort;
    QString prefix = kDefaultTopicPrefix; // one or more topic levels, no slash at either end
};

// The target of a URL, or the reason it is refused in `error` (a password in the URL, another
// scheme, no host, a query, a prefix with wildcards or empty levels).
std::optional<MqttTarget> parse_mqtt_url(const QString& url, QString& error);

// The URL again, without any password (for menus, tooltips and messages).
QString mqtt_url_text(const MqttTarget& target);

// Whether a meter name given by the operator can stand in topics, client ids and Home Assistant
// ids: 1 to 64 of A-Z a-z 0-9 _ -.
bool valid_meter_name(const QString& name);

// A meter name made from a device's stable name or path ("usb-FTDI_FT232R_A50285BI-if00-port0",
// "/dev/ttyUSB0" gives "ttyUSB0"): its last path part, other characters turned into '_', cut to 64.
// Empty when nothing usable is left.
QString meter_name_from_device(const QString& device);

// "port3" for port number 3.
QString meter_name_from_port(int number);

// The topics of one meter.
struct MqttTopics {
    QString reading; // PREFIX/NAME/reading: one JSON object per reading, QoS 0, not retained
    QString status;  // PREFIX/NAME/status: "online" / "offline" (the last will), retained
    QString meter;   // PREFIX/NAME/meter: what the link knows, retained
};
MqttTopics mqtt_topics(const QString& prefix, const QString& name);

// The client id a meter's monitor connects with ("tessaro-NAME"): one per meter, so that two
// monitors on one broker never push each other off.
QString mqtt_client_id(const QString& name);

} // namespace tessaro
