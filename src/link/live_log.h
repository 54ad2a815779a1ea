// The live log: one CSV line per live reading, appended crash-safely to a file of the operator's choice.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

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

    // Whether an existing file's first line (without its line end) shows a log of the kind written.
    using FirstLineTest = std::function<bool(QByteArrayView first_line)>;

    // Opens path for appending. A new or empty file gets the header; an existing log must start
    // with it and is continued. nullopt on success, otherwise the reason (nothing is then open).
    std::optional<QString> open(const QString& path);
    // The same for another format: a new or empty file gets header (JSON lines have none), and an
    // existing file is continued only when its first line passes is_own.
    std::optional<QString> open(const QString& path, const QByteArray& header, const FirstLineTest& is_own);
    // Writes one line. On failure the file is cut back to its last whole line, the log is
    // closed and the reason comes back.
    // Before each line the log checks that its path still names the open file. When the file was
    // deleted, renamed or replaced, the log is started again at the path as open() would (a new
    // file with the header, or the log now there continued), so no line goes where no one sees
    // it; restarted() tells once. When that fails the log is closed and the reason comes back.
    std::optional<QString> append(const QByteArray& line);
    // Flushes to the disk when lines are waiting and the interval has passed; checks the path
    // as append() does, so a deleted log comes back even while no readings come.
    std::optional<QString> sync_if_due();
    // True once after the log was started again because its file was deleted or replaced.
    bool take_restarted() { return std::exchange(restarted_, false); }
    // Flushes and closes; the reason when the last flush failed. Nothing happens when closed.
    std::optional<QString> close();

    bool is_open() const { return fd_ >= 0; }
    const QString& path() const { return path_; }
    // Readings in the file: its lines after the header.
    qint64 readings() const { return readings_; }

private:
    std::optional<QString> fail(int error);
    // Starts the log again when path_ no longer names the open file; the reason when that fails.
    std::optional<QString> follow_path();

    int fd_ = -1;
    QString path_;
    QByteArray header_;
    FirstLineTest is_own_;
    bool restarted_ = false;
    qint64 size_ = 0;
    qint64 readings_ = 0;
    bool unsynced_ = false;
    std::chrono::steady_clock::time_point last_sync_{};
};

} // namespace tessaro
