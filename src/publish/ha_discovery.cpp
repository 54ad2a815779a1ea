// Home Assistant discovery config messages of one meter.
#include "ha_discovery.h"

#include "publish/mqtt_target.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace tessaro {

namespace {

struct Entity {
    const char* component; // sensor or binary_sensor
    const char* key;       // the last part of the unique id and of the topic
    const char* title;
    const char* device_class;
    const char* value_template;
};

// A null current_a (overload) renders "None", which Home Assistant takes as "unknown".
constexpr Entity kEntities[] = {
    {"sensor", "current", "Current", "current", "{{ value_json.current_a }}"},
    {"binary_sensor", "low_battery", "Low battery", "battery", "{{ 'ON' if value_json.low_battery else 'OFF' }}"},
    {"binary_sensor", "alarm", "Alarm", "problem", "{{ 'ON' if value_json.alarm == 'alarm' else 'OFF' }}"},
};

} // namespace

QList<MqttMessage> ha_discovery_messages(const QString& discovery_prefix, const QString& topic_prefix,
                                         const QString& name, const QString& version) {
    const MqttTopics topics = mqtt_topics(topic_prefix, name);
    const QString device_id = QStringLiteral("tessaro_") + name;
    const QJsonObject device{
        {"identifiers", QJsonArray{device_id}},
        {"name", QStringLiteral("Tessaro ") + name},
        {"manufacturer", QStringLiteral("Tessaro")},
        {"model", QStringLiteral("Current clamp meter")},
        {"sw_version", version},
    };
    QList<MqttMessage> messages;
    for (const Entity& e : kEntities) {
        const QString unique_id = device_id + u'_' + QLatin1String(e.key);
        QJsonObject config{
            {"name", QLatin1String(e.title)},
            {"unique_id", unique_id},
            {"object_id", unique_id},
            {"state_topic", topics.reading},
            {"value_template", QLatin1String(e.value_template)},
            {"device_class", QLatin1String(e.device_class)},
            {"availability_topic", topics.status},
            {"payload_available", QStringLiteral("online")},
            {"payload_not_available", QStringLiteral("offline")},
            {"device", device},
        };
        if (QLatin1String(e.component) == QLatin1String("sensor")) {
            config.insert("unit_of_measurement", QStringLiteral("A"));
            config.insert("state_class", QStringLiteral("measurement"));
        } else {
            config.insert("payload_on", QStringLiteral("ON"));
            config.insert("payload_off", QStringLiteral("OFF"));
        }
        messages.append({discovery_prefix + u'/' + QLatin1String(e.component) + u'/' + device_id + u'/'
                             + QLatin1String(e.key) + QStringLiteral("/config"),
                         QJsonDocument(config).toJson(QJsonDocument::Compact), true});
    }
    return messages;
}

} // namespace tessaro
