// The live log: one CSV line per live reading, appended crash-safely to a file of the operator's choice.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace tessaro {

// At most this long between a line's write and its reaching the disk.
inline constexpr std::chrono::seconds kLiveLogSyncInterval{10};

enum class AlarmState { Alarm, Normal, NotLocked };

// One accepted live reading as the log records it.
struct LiveLogReading {
    QDateTime time;         // the computer's time when the frame was handled
    int count = 0;          // reading count
    uint8_t range = 0;      // range code of the frame
    bool low_batt = false;
    AlarmState alarm = AlarmState::NotLocked;
};

// "alarm", "normal" or "not locked": the alarm column's text.
const char* alarm_state_text(AlarmState state);

// The header line (CR LF at the end).
QByteArray live_log_header();

// "2026-12-10T17:05:03.120+01:00": local time with milliseconds and the UTC offset.
QString iso_time_ms(const QDateTime& time);

// Whether the meter shows the reading as overload: count 4000 in any range, "O  L" in range 50.
bool live_overload(int count, uint8_t range);

// The current in amperes as an exact decimal; empty for an overload or a range without a factor.
QString live_amperes(int count, uint8_t range);

// One log line (CR LF at the end): time, current_a, shown, overload, low_battery, alarm.
QByteArray live_log_line(const LiveLogReading& reading);

// Appends lines to the log file. Each line goes to the kernel in one write as it is made; the
// file is flushed to the disk when a line comes 10 s or more after the last flush, and on close.
class LiveLog {
public:
    LiveLog() = default;
    LiveLog(const LiveLog&) = delete;
    LiveLog& operator=(const LiveLog&) = delete;
    ~LiveLog();

    // Opens path for appending. A new or empty file gets the header; an existing log must start
    // with it and is continued. nullopt on success, otherwise the reason (nothing is then open).
    std::optional<QString> open(const QString& path) { return open(path, live_log_header()); }
    // The same with another first line (JSON lines have none: an empty header, and any file is continued).
    std::optional<QString> open(const QString& path, const QByteArray& header);
    // Writes one line. On failure the file is cut back to its last whole line, the log is
    // closed and the reason comes back.
    std::optional<QString> append(const QByteArray& line);
    // Flushes to the disk when lines are waiting and the interval has passed.
    std::optional<QString> sync_if_due();
    // Flushes and closes; the reason when the last flush failed. Nothing happens when closed.
    std::optional<QString> close();

    bool is_open() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    // Readings in the file: its lines after the header.
    qint64 readings() const { return readings_; }

private:
    std::optional<QString> fail(int error);

    int fd_ = -1;
    QString path_;
    qint64 size_ = 0;
    qint64 readings_ = 0;
    bool unsynced_ = false;
    std::chrono::steady_clock::time_point last_sync_{};
};

} // namespace tessaro
