// Reads a recording file into a Recording, in bounded steps, and follows it while it grows.
#pragma once

#include "recording.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaro::trend {

enum class RecordingFormat { Unknown, LiveLogCsv, JsonLines };

class RecordingFile {
public:
    // Bytes read from the file in one go.
    static constexpr size_t kBlock = 4 << 20;
    // A line longer than this is no reading: it is skipped without being held whole.
    static constexpr size_t kLongestLine = 64 << 10;

    RecordingFile() = default;
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;
    ~RecordingFile();

    // Opens a regular file (never a pipe or device: opened without blocking, checked on the open
    // descriptor). memory_budget bounds the store; 0 takes half of the memory the system has
    // available. The reason on failure; nothing is open then.
    std::optional<QString> open(const QString& path, size_t memory_budget = 0);

    // Reads up to max_bytes more and adds their whole lines. A refusal (another program's file,
    // too large for the memory) comes back as the reason; the file is then closed.
    enum class Step { More, AtEnd, Refused };
    Step read_some(size_t max_bytes = kBlock);
    // Reads to the end of the file as it is now.
    Step read_all();
    // Whether the file holds bytes not read yet (one fstat). Notes a file that got shorter.
    bool grew();

    const Recording& recording() const { return recording_; }
    const QString& path() const { return path_; }
    RecordingFormat format() const { return format_; }
    bool is_open() const { return fd_ >= 0; }
    const QString& refusal() const { return refusal_; }
    qint64 file_size() const { return size_; }
    qint64 read_offset() const { return offset_; }

    // Lines that were no reading (skipped) and the first of them; 0 when none.
    qint64 skipped_lines() const { return skipped_; }
    qint64 first_skipped_line() const { return first_skipped_; }
    // Bytes after the last line end: a line still being written, or cut off.
    qint64 unfinished_bytes() const { return size_ - offset_; }
    // The file got shorter than what was read: it was cut or replaced and is no longer followed.
    bool shrank() const { return shrank_; }
    // A sentence about what was skipped, unfinished or out of order; empty when all is well.
    QString notes() const;

    // The readings from t0 to t1 (inclusive) in file order as live-log CSV with its header, read
    // again from the file (CSV lines as they are, JSON lines rewritten). The reason when the file
    // cannot be read.
    std::optional<QString> export_csv(int64_t t0, int64_t t1, QByteArray& out) const;

private:
    void add_line(const char* begin, const char* end, qint64 offset);
    void refuse(const QString& reason);

    int fd_ = -1;
    QString path_;
    size_t budget_ = 0;
    qint64 size_ = 0;   // of the file at the last look
    qint64 offset_ = 0; // where the first line not read yet starts
    qint64 examined_ = 0; // bytes looked at (the unfinished last line included)
    qint64 line_ = 0;   // lines read
    RecordingFormat format_ = RecordingFormat::Unknown;
    bool skipping_long_ = false;
    bool shrank_ = false;
    qint64 skipped_ = 0;
    qint64 first_skipped_ = 0;
    QString refusal_;
    Recording recording_;
    std::vector<qint64> checkpoints_; // the file offset of every 64th reading's line
    MemoryBlock buffer_; // kBlock bytes, from the first open on
    TimeCache time_cache_;
};

} // namespace tessaro::trend
