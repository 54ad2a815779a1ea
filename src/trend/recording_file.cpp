// Reading recording files: regular files only, big blocks, whole lines, bounded memory.
#include "recording_file.h"

#include "platform/safe_file.h"
#include "records/records_csv.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::trend {

namespace {

constexpr size_t kCheckpointEvery = 64;
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kRecordsHeaderStart = "record,time,";

// Half of what the system reports as available, the most a store may take by default.
size_t default_budget() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        const QByteArray text = meminfo.read(8192);
        const qsizetype at = text.indexOf("MemAvailable:");
        if (at >= 0) {
            const qsizetype end = text.indexOf('\n', at);
            const qint64 kb = text.mid(at + 13, end - at - 13).trimmed().split(' ').value(0).toLongLong();
            if (kb > 0) return static_cast<size_t>(kb) * 1024 / 2;
        }
    }
    return size_t{1} << 30;
}

std::string_view trimmed_line(const char* begin, const char* end) {
    if (end > begin && end[-1] == '\r') --end;
    return std::string_view(begin, static_cast<size_t>(end - begin));
}

QString quoted(std::string_view text) {
    constexpr size_t kShown = 80;
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(text.size(), kShown)));
    if (text.size() > kShown) s += QChar(0x2026);
    return u'"' + s + u'"';
}

bool blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// Calls on_line(begin, end, offset) for every whole line of the file from offset on, until it
// returns false or the file ends. Lines longer than the longest allowed are passed as empty.
template <typename F>
std::optional<QString> each_line(int fd, qint64 offset, F on_line) {
    QByteArray buffer(static_cast<qsizetype>(RecordingFile::kBlock), Qt::Uninitialized);
    size_t held = 0;
    qint64 held_at = offset; // file offset of buffer[0]
    bool long_line = false;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data() + held, static_cast<size_t>(buffer.size()) - held,
                                  static_cast<off_t>(held_at + static_cast<qint64>(held)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return reason_text(errno);
        }
        if (n == 0) return std::nullopt;
        held += static_cast<size_t>(n);
        const char* p = buffer.constData();
        const char* end = p + held;
        const char* start = p;
        while (const char* nl = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)))) {
            const qint64 at = held_at + (start - p);
            const bool go_on = long_line ? on_line(nl, nl, at) : on_line(start, nl, at);
            long_line = false;
            if (!go_on) return std::nullopt;
            start = nl + 1;
        }
        const size_t rest = static_cast<size_t>(end - start);
        if (rest > RecordingFile::kLongestLine) {
            long_line = true;
            held_at += static_cast<qint64>(held);
            held = 0;
        } else {
            std::memmove(buffer.data(), start, rest);
            held_at += static_cast<qint64>(held - rest);
            held = rest;
        }
    }
}

QByteArray csv_line_from_json(std::string_view line) {
    JsonExtras extras;
    const auto r = parse_json_line(line, &extras);
    QByteArray out(r->time_text.data(), static_cast<qsizetype>(r->time_text.size()));
    out += ',';
    if (!(r->flags & kNoValue) && !extras.current_text.empty()) {
        double v = 0;
        std::from_chars(extras.current_text.data(), extras.current_text.data() + extras.current_text.size(), v);
        char text[64];
        const auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
        out.append(text, res.ptr - text);
    }
    out += ',';
    QString shown = QString::fromUtf8(extras.shown.data(), static_cast<qsizetype>(extras.shown.size()));
    shown.replace(QStringLiteral("\\\""), QStringLiteral("\"")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    out += csv_field(shown);
    out += (r->flags & kOverload) ? ",1" : ",0";
    out += (r->flags & kLowBattery) ? ",1," : ",0,";
    out += (r->flags & kAlarm) ? "alarm" : (r->flags & kNormal) ? "normal" : "not locked";
    return out;
}

} // namespace

RecordingFile::~RecordingFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<QString> RecordingFile::open(const QString& path, size_t memory_budget) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return reason_text(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return reason_text(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? QStringLiteral("It is a folder, not a recording.")
                                   : QStringLiteral("It is not a regular file (a pipe, socket or device is not read).");
    }
    budget_ = memory_budget ? memory_budget : default_budget();
    // Even with long lines (JSON lines are about 130 bytes) a file this size needs more than there is.
    constexpr qint64 kLongLine = 160;
    constexpr qint64 kBytesPerReading = 16;
    const qint64 least = static_cast<qint64>(st.st_size) / kLongLine * kBytesPerReading;
    if (least > static_cast<qint64>(budget_)) {
        ::close(fd);
        return QStringLiteral("It is too large to show: %1 MB of readings need at least %2 MB of memory, and %3 MB "
                              "are available.")
            .arg(st.st_size >> 20)
            .arg(least >> 20)
            .arg(budget_ >> 20);
    }
    fd_ = fd;
    path_ = path;
    size_ = st.st_size;
    if (!buffer_) buffer_ = allocate_block(kBlock);
    return std::nullopt;
}

void RecordingFile::refuse(const QString& reason) {
    refusal_ = reason;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool RecordingFile::grew() {
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    if (st.st_size < offset_) {
        shrank_ = true;
        return false;
    }
    size_ = st.st_size;
    return size_ > examined_ && !shrank_;
}

void RecordingFile::add_line(const char* begin, const char* end, qint64 offset) {
    ++line_;
    std::string_view line = trimmed_line(begin, end);
    if (format_ == RecordingFormat::Unknown) {
        if (line.substr(0, kBom.size()) == kBom) line.remove_prefix(kBom.size());
        if (blank(line)) return;
        if (line == kLiveLogHeader) {
            format_ = RecordingFormat::LiveLogCsv;
            return;
        }
        if (line.substr(0, 1) == "{") {
            if (!parse_json_line(line))
                return refuse(QStringLiteral("Line %1 is %2: no reading of tessaro-cli monitor --json (an object "
                                             "with \"time\" and \"current_a\").")
                                  .arg(line_)
                                  .arg(quoted(line)));
            format_ = RecordingFormat::JsonLines;
        } else if (line.find('\0') != std::string_view::npos) {
            return refuse(QStringLiteral("Line %1 holds binary data: it is not a text file.").arg(line_));
        } else if (line.substr(0, kRecordsHeaderStart.size()) == kRecordsHeaderStart) {
            return refuse(QStringLiteral("Line %1 is %2: this is a records file (File, Open CSV… reads it), not a "
                                         "live recording.")
                              .arg(line_)
                              .arg(quoted(line)));
        } else {
            return refuse(QStringLiteral("Line %1 is %2: a live log starts with the line \"%3\", and JSON lines with "
                                         "an object.")
                              .arg(line_)
                              .arg(quoted(line))
                              .arg(QLatin1String(kLiveLogHeader.data(), static_cast<qsizetype>(kLiveLogHeader.size()))));
        }
    }
    if (blank(line)) return;
    const auto r =
        format_ == RecordingFormat::LiveLogCsv ? parse_csv_line(line, &time_cache_) : parse_json_line(line);
    if (!r) {
        ++skipped_;
        if (!first_skipped_) first_skipped_ = line_;
        return;
    }
    if (recording_.size() % kCheckpointEvery == 0) checkpoints_.push_back(offset);
    if (!recording_.append(r->time_ms, r->amperes, r->flags))
        refuse(QStringLiteral("It holds more readings than can be shown (%1).").arg(recording_.size()));
}

RecordingFile::Step RecordingFile::read_some(size_t max_bytes) {
    if (fd_ < 0) return refusal_.isEmpty() ? Step::AtEnd : Step::Refused;
    if (!grew()) {
        recording_.update();
        return Step::AtEnd;
    }
    const size_t want = static_cast<size_t>(std::min<qint64>(
        size_ - offset_, static_cast<qint64>(std::clamp(max_bytes, 2 * kLongestLine + 2, kBlock))));
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(buffer_.get()) + got, want - got,
                                  static_cast<off_t>(offset_ + static_cast<qint64>(got)));
        if (n < 0) {
            if (errno == EINTR) continue;
            refuse(reason_text(errno));
            return Step::Refused;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    const char* p = static_cast<const char*>(buffer_.get());
    const char* end = p + got;
    const char* start = p;
    while (const char* nl = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)))) {
        if (skipping_long_) {
            skipping_long_ = false;
        } else {
            add_line(start, nl, offset_ + (start - p));
            if (fd_ < 0) return Step::Refused;
        }
        start = nl + 1;
    }
    size_t rest = static_cast<size_t>(end - start);
    if (rest > kLongestLine) {
        // Too long for a reading: counted once and skipped up to its end.
        if (!skipping_long_) {
            ++line_;
            ++skipped_;
            if (!first_skipped_) first_skipped_ = line_;
        }
        skipping_long_ = true;
        rest = 0;
    }
    offset_ += static_cast<qint64>(got - rest);
    examined_ = offset_ + static_cast<qint64>(rest);
    recording_.update();
    if (recording_.memory_bytes() > budget_) {
        refuse(QStringLiteral("It is too large to show: its readings need more than the %1 MB of memory available.")
                   .arg(budget_ >> 20));
        return Step::Refused;
    }
    return offset_ + static_cast<qint64>(rest) >= size_ ? Step::AtEnd : Step::More;
}

RecordingFile::Step RecordingFile::read_all() {
    Step s;
    while ((s = read_some()) == Step::More) {
    }
    return s;
}

QString RecordingFile::notes() const {
    QStringList parts;
    if (skipped_ == 1)
        parts << QStringLiteral("Line %1 is no reading and was skipped.").arg(first_skipped_);
    else if (skipped_ > 1)
        parts << QStringLiteral("%1 lines are no readings and were skipped (the first is line %2).")
                     .arg(skipped_)
                     .arg(first_skipped_);
    if (unfinished_bytes() > 0 && !skipping_long_)
        parts << QStringLiteral("The last line is unfinished (%1 bytes) and not shown yet.").arg(unfinished_bytes());
    const size_t back = recording_.runs() > 0 ? recording_.runs() - 1 : 0;
    if (back == 1)
        parts << QStringLiteral("The time goes backwards once (marked).");
    else if (back > 1)
        parts << QStringLiteral("The time goes backwards %1 times (marked).").arg(back);
    if (shrank_) parts << QStringLiteral("The file got shorter: it is no longer followed; open it again.");
    return parts.join(u' ');
}

std::optional<QString> RecordingFile::export_csv(int64_t t0, int64_t t1, QByteArray& out) const {
    out = QByteArray(kLiveLogHeader.data(), static_cast<qsizetype>(kLiveLogHeader.size())) + "\r\n";
    // The readings in the span lie between the first of them in any run and the last.
    const Recording& rec = recording_;
    size_t from = rec.size(), to = 0;
    for (size_t k = 0; k < rec.runs(); ++k) {
        const size_t a = rec.lower_bound(k, t0), b = rec.lower_bound(k, t1 + 1);
        if (a < b) {
            from = std::min(from, a);
            to = std::max(to, b);
        }
    }
    if (from >= to) return std::nullopt;
    if (fd_ < 0) return QStringLiteral("The file is no longer open.");
    const size_t cp = from / kCheckpointEvery;
    size_t index = cp * kCheckpointEvery;
    const bool json = format_ == RecordingFormat::JsonLines;
    return each_line(fd_, checkpoints_[cp], [&](const char* b, const char* e, qint64) {
        const std::string_view line = trimmed_line(b, e);
        if (blank(line) || line.size() > kLongestLine) return true;
        const auto r = json ? parse_json_line(line) : parse_csv_line(line);
        if (!r) return true;
        if (index >= from && r->time_ms >= t0 && r->time_ms <= t1) {
            if (json)
                out += csv_line_from_json(line);
            else
                out.append(line.data(), static_cast<qsizetype>(line.size()));
            out += "\r\n";
        }
        return ++index < to;
    });
}

} // namespace tessaro::trend
