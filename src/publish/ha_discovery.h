// Home Assistant's MQTT discovery: the retained config messages that make a meter appear as one device.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tessaro {

struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
};

// The current sensor (A, device class current, state class measurement) and the low-battery and
// alarm binary sensors of the meter `name`, all reading PREFIX/NAME/reading, all tied to one device
// and to the availability topic PREFIX/NAME/status. Topics under discovery_prefix
// ("homeassistant/sensor/tessaro_NAME/current/config"); retained.
QList<MqttMessage> ha_discovery_messages(const QString& discovery_prefix, const QString& topic_prefix,
                                         const QString& name, const QString& version);

} // namespace tessaro
