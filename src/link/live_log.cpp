// The live log's line format and its append-only, crash-safe writer.
#include "live_log.h"

#include "link/live_reading.h"
#include "records/number_text.h"
#include "platform/regular_file.h"
#include "platform/safe_file.h"
#include "records/records_csv.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

constexpr uint8_t kRangeHundredthsA = 50;
constexpr int kRangeFullScale = 10000; // shown as "O  L" in range 50
constexpr size_t kReadChunk = 64 * 1024;

// Decimal places from a live count to amperes; nullopt for a range without a factor.
std::optional<int> live_ampere_decimals(uint8_t range) {
    switch (range) {
    case 48: return 0;
    case 49: return 1;
    case 50: return 2;
    case 51: return 3;
    case 64: return 3;
    case 65: return 4;
    case 66: return 5;
    default: return std::nullopt;
    }
}

} // namespace

const char* alarm_state_text(AlarmState state) {
    switch (state) {
    case AlarmState::Alarm: return "alarm";
    case AlarmState::Normal: return "normal";
    case AlarmState::NotLocked: return "not locked";
    }
    return "not locked";
}

QByteArray live_log_header() { return QByteArrayLiteral("time,current_a,shown,overload,low_battery,alarm\r\n"); }

QString iso_time_ms(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? u'-' : u'+')
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool live_overload(int count, uint8_t range) {
    return count == kOverloadCount || (range == kRangeHundredthsA && count == kRangeFullScale);
}

QString live_amperes(int count, uint8_t range) {
    const auto decimals = live_ampere_decimals(range);
    if (!decimals || live_overload(count, range)) return {};
    return QString::fromStdString(exact_decimal(count, *decimals));
}

QByteArray live_log_line(const LiveLogReading& r) {
    QByteArray line = iso_time_ms(r.time).toLatin1();
    line += ',' + live_amperes(r.count, r.range).toLatin1();
    line += ',' + csv_field(live_reading_text(r.count, r.range).trimmed());
    line += live_overload(r.count, r.range) ? ",1" : ",0";
    line += r.low_batt ? ",1," : ",0,";
    line += alarm_state_text(r.alarm);
    line += "\r\n";
    return line;
}

LiveLog::~LiveLog() { close(); }

std::optional<QString> LiveLog::open(const QString& path) {
    const QByteArray bare = live_log_header().chopped(2);
    return open(path, live_log_header(), [bare](QByteArrayView first) { return first == bare; });
}

std::optional<QString> LiveLog::open(const QString& path, const QByteArray& header, const FirstLineTest& is_own) {
    close();
    restarted_ = false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Only a regular file is a log. Looked at before opening, since opening a device may act on it
    // (a serial port's lines change); the open never waits, and the descriptor is checked again.
    if (::stat(name.constData(), &st) == 0) {
        if (const auto kind = not_regular_failure(st.st_mode)) return file_read_text(*kind);
    }
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return reason_text(errno);
    auto refuse = [fd](const QString& reason) {
        ::close(fd);
        return std::optional<QString>(reason);
    };
    if (::fstat(fd, &st) != 0) return refuse(reason_text(errno));
    if (const auto kind = not_regular_failure(st.st_mode)) return refuse(file_read_text(*kind));

    qint64 size = st.st_size;
    qint64 lines = 0;
    if (size == 0) {
        if (!write_fully(fd, header.constData(), header.size())) {
            const int error = errno;
            if (::ftruncate(fd, 0) != 0) { /* the reason below is the one that matters */ }
            return refuse(reason_text(error));
        }
        size = header.size();
    } else {
        QByteArray chunk(static_cast<qsizetype>(kReadChunk), Qt::Uninitialized);
        off_t at = 0;
        char last = '\n';
        bool header_checked = false;
        while (at < size) {
            const ssize_t n = ::pread(fd, chunk.data(), kReadChunk, at);
            if (n < 0) {
                if (errno == EINTR) continue;
                return refuse(reason_text(errno));
            }
            if (n == 0) break;
            if (!header_checked) {
                // An existing file is continued only when it is a log of the same format.
                QByteArrayView first(chunk.constData(), n);
                if (const qsizetype end = first.indexOf('\n'); end >= 0) first = first.first(end);
                if (first.endsWith('\r')) first.chop(1);
                if (!is_own(first))
                    return refuse(QStringLiteral("It is not a live log of this program (its first line differs)."));
                header_checked = true;
            }
            lines += QByteArrayView(chunk.constData(), n).count('\n');
            last = chunk[static_cast<qsizetype>(n - 1)];
            at += n;
        }
        size = at;
        if (last != '\n') {
            // A line cut by a power failure is ended, so the next reading starts a line of its own.
            if (!write_fully(fd, "\r\n", 2)) return refuse(reason_text(errno));
            size += 2;
            ++lines;
        }
        if (!header.isEmpty()) --lines;
    }
    fd_ = fd;
    path_ = path;
    header_ = header;
    is_own_ = is_own;
    size_ = size;
    readings_ = lines;
    unsynced_ = true;
    last_sync_ = std::chrono::steady_clock::now();
    return std::nullopt;
}

std::optional<QString> LiveLog::fail(int error) {
    // The file keeps every whole line written before.
    if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) { /* the write's reason is the one reported */ }
    ::close(fd_);
    fd_ = -1;
    unsynced_ = false;
    return reason_text(error);
}

std::optional<QString> LiveLog::follow_path() {
    struct stat open_file {};
    if (::fstat(fd_, &open_file) != 0) return std::nullopt; // the write will tell
    bool moved = open_file.st_nlink == 0;
    if (!moved) {
        struct stat at_path {};
        if (::stat(QFile::encodeName(path_).constData(), &at_path) == 0)
            moved = at_path.st_dev != open_file.st_dev || at_path.st_ino != open_file.st_ino;
        else
            moved = errno == ENOENT || errno == ENOTDIR;
    }
    if (!moved) return std::nullopt;
    // The old file keeps what reached it (under its new name, if it has one).
    const QString path = path_;
    const QByteArray header = header_;
    const FirstLineTest is_own = is_own_;
    close();
    if (const auto failure = open(path, header, is_own))
        return QStringLiteral("The file was deleted or replaced while recording and could not be started again.\n%1").arg(*failure);
    restarted_ = true;
    return std::nullopt;
}

std::optional<QString> LiveLog::append(const QByteArray& line) {
    if (fd_ < 0) return QStringLiteral("The log is not open.");
    if (auto failure = follow_path()) return failure;
    if (!write_fully(fd_, line.constData(), line.size())) return fail(errno);
    size_ += line.size();
    ++readings_;
    unsynced_ = true;
    return sync_if_due();
}

std::optional<QString> LiveLog::sync_if_due() {
    if (fd_ < 0) return std::nullopt;
    if (auto failure = follow_path()) return failure;
    if (!unsynced_) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_sync_ < kLiveLogSyncInterval) return std::nullopt;
    last_sync_ = now;
    if (::fdatasync(fd_) != 0) return fail(errno);
    unsynced_ = false;
    return std::nullopt;
}

std::optional<QString> LiveLog::close() {
    if (fd_ < 0) return std::nullopt;
    std::optional<QString> reason;
    if (unsynced_ && ::fdatasync(fd_) != 0) reason = reason_text(errno);
    if (::close(fd_) != 0 && !reason) reason = reason_text(errno);
    fd_ = -1;
    unsynced_ = false;
    return reason;
}

} // namespace tessaro
