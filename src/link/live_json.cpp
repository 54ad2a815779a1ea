// The JSON form of a live reading, shared by the command-line monitor and the MQTT publisher.
#include "live_json.h"

#include "link/live_reading.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace tessaro {

QJsonObject live_reading_json(const LiveLogReading& r) {
    // The exact decimal goes through a double: JSON readers take numbers, and the shortest
    // form Qt writes gives the same digits back ("0.0123", not "0.012300000000000001").
    const QString amperes = live_amperes(r.count, r.range);
    return QJsonObject{
        {"time", iso_time_ms(r.time)},
        {"current_a", amperes.isEmpty() ? QJsonValue() : QJsonValue(amperes.toDouble())},
        {"shown", live_reading_text(r.count, r.range).trimmed()},
        {"overload", live_overload(r.count, r.range)},
        {"low_battery", r.low_batt},
        {"alarm", QString::fromLatin1(alarm_state_text(r.alarm))},
        {"count", r.count},
        {"range_code", r.range},
    };
}

QByteArray live_json_line(const LiveLogReading& reading) {
    return QJsonDocument(live_reading_json(reading)).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace tessaro
