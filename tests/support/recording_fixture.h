// Recordings made by the tests themselves, through the live log's own line writer.
#pragma once

#include "link/live_log.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <vector>

namespace tessaro::test {

// Range 65: counts of 0.1 mA (123 is 12.3 mA); 4000 is OL.
inline constexpr uint8_t kMilliRange = 65;

// n readings interval_ms apart from start, the count of reading i from count_of(i).
inline std::vector<LiveLogReading> steady_readings(const QDateTime& start, int n, int interval_ms,
                                                   const std::function<int(int)>& count_of) {
    std::vector<LiveLogReading> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        LiveLogReading r;
        r.time = start.addMSecs(static_cast<qint64>(i) * interval_ms);
        r.count = count_of(i);
        r.range = kMilliRange;
        out.push_back(r);
    }
    return out;
}

// The live log's bytes: its header and one line a reading.
inline QByteArray live_log_bytes(const std::vector<LiveLogReading>& readings, bool header = true) {
    QByteArray out = header ? live_log_header() : QByteArray();
    for (const LiveLogReading& r : readings) out += live_log_line(r);
    return out;
}

inline bool write_bytes(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size() && f.flush();
}

// A fixed start in the given zone (2026-12-10 12:00 local by default).
inline QDateTime fixture_start(const QTimeZone& zone = QTimeZone("Europe/Berlin"),
                               QDateTime local = QDateTime(QDate(2026, 12, 10), QTime(12, 0))) {
    return QDateTime(local.date(), local.time(), zone);
}

} // namespace tessaro::test
