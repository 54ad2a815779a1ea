// One live reading as a JSON object: the line of `tessaro-cli monitor --json` and the MQTT reading message.
#pragma once

#include "link/live_log.h"

#include <QByteArray>
#include <QJsonObject>

namespace tessaro {

// time (ISO 8601 with ms and offset), current_a (a number, null for an overload or a range
// without a factor), shown, overload, low_battery, alarm ("alarm", "normal", "not locked"),
// count and range_code.
QJsonObject live_reading_json(const LiveLogReading& reading);

// The object on one line, compact, with a line feed at the end.
QByteArray live_json_line(const LiveLogReading& reading);

} // namespace tessaro
