// The readings of a recording in compact columns (time, current, flags), with a minimum-maximum
// pyramid over them so that any span is summed up in a few dozen steps.
#pragma once

#include "recording_lines.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace tessaro::trend {

// The size of a huge page, the unit the kernel may back advised memory with.
inline constexpr size_t kHugePageBytes = size_t{2} << 20;

struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};
using MemoryBlock = std::unique_ptr<void, FreeMemory>;

// Uninitialised memory of bytes. A whole number of huge pages is aligned to them and advised as such
// (a page fault per 2 MB instead of per 4 KB when it is first written). Throws bad_alloc.
inline MemoryBlock allocate_block(size_t bytes) {
    const bool huge = bytes % kHugePageBytes == 0;
    void* p = huge ? std::aligned_alloc(kHugePageBytes, bytes) : std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    if (huge) ::madvise(p, bytes, MADV_HUGEPAGE); // advice only: without huge pages it works the same
    return MemoryBlock(p);
}

// A column in chunks (2 MB unless told): growing never copies what is stored and memory follows
// the count; 2 MB chunks may each be one huge page.
template <typename T, size_t ChunkBytes = kHugePageBytes>
class ChunkedColumn {
public:
    static constexpr size_t kChunkBytes = ChunkBytes;
    static constexpr size_t kChunk = kChunkBytes / sizeof(T);
    static constexpr size_t kShift = std::bit_width(kChunk) - 1;
    static_assert((size_t{1} << kShift) == kChunk);

    void push_back(T v) {
        if ((size_ & (kChunk - 1)) == 0 && (size_ >> kShift) == chunks_.size())
            chunks_.push_back(allocate_block(kChunkBytes));
        static_cast<T*>(chunks_[size_ >> kShift].get())[size_ & (kChunk - 1)] = v;
        ++size_;
    }
    // Elements past the old size are left as they are: the caller writes them.
    void resize(size_t n) {
        while ((chunks_.size() << kShift) < n) chunks_.push_back(allocate_block(kChunkBytes));
        size_ = n;
    }
    T operator[](size_t i) const { return static_cast<const T*>(chunks_[i >> kShift].get())[i & (kChunk - 1)]; }
    T& operator[](size_t i) { return static_cast<T*>(chunks_[i >> kShift].get())[i & (kChunk - 1)]; }
    size_t size() const { return size_; }
    size_t memory_bytes() const { return chunks_.size() * kChunkBytes + chunks_.capacity() * sizeof(void*); }

private:
    std::vector<MemoryBlock> chunks_;
    size_t size_ = 0;
};

// What a span of readings sums up to.
struct Summary {
    size_t count = 0;      // readings
    size_t valued = 0;     // readings with a current
    float min = std::numeric_limits<float>::infinity();
    float max = -std::numeric_limits<float>::infinity();
    double sum = 0.0;      // of the currents
    int64_t alarm_ms = 0;  // time at or above a locked threshold
    uint8_t flags = 0;     // every flag of any reading in the span

    double mean() const { return valued ? sum / static_cast<double>(valued) : std::nan(""); }
    void add(const Summary& o);
};

class Recording {
public:
    // The live poll's interval: the expected spacing until the readings tell another.
    static constexpr int64_t kDefaultIntervalMs = 500;
    // A pause longer than this many expected intervals is a gap: drawn as one, never joined.
    static constexpr int kGapIntervals = 5;
    // Readings a store may hold (indexes are kept in 32 bits).
    static constexpr size_t kMaxReadings = 0xFFFF'FFF0u;

    // Adds one reading in file order; amperes is ignored with kNoValue. False when the store is full.
    bool append(int64_t time_ms, float amperes, uint8_t flags);
    // Brings the pyramid and the expected interval up to the readings appended since the last call.
    void update();

    size_t size() const { return time_.size(); }
    int64_t time(size_t i) const { return time_[i]; }
    float value(size_t i) const { return value_[i]; }
    uint8_t flags(size_t i) const { return flags_[i]; }

    // Runs of readings whose times never go backwards, in file order: [first(k), end(k)).
    size_t runs() const { return run_start_.size(); }
    size_t run_first(size_t k) const { return run_start_[k]; }
    size_t run_end(size_t k) const { return k + 1 < run_start_.size() ? run_start_[k + 1] : size(); }
    // Within run k, the first reading at or after t (run_end when none).
    size_t lower_bound(size_t k, int64_t t) const;

    int64_t earliest() const { return earliest_; }
    int64_t latest() const { return latest_; }
    // The usual spacing of readings (the median of the steps between them) and the gap beyond it.
    int64_t expected_interval_ms() const { return expected_ms_; }
    int64_t gap_ms() const { return expected_ms_ * kGapIntervals; }
    // How long reading i stands: until the next one, or one expected interval before a gap,
    // a step backwards and at the end.
    int64_t duration(size_t i) const;

    // The summary of readings [from, to) in file order.
    Summary summarize(size_t from, size_t to) const;

    // Bytes held for the readings, the pyramid and the runs.
    size_t memory_bytes() const;

private:
    struct Block {
        float min, max;
        double sum;
        uint32_t valued;
        uint8_t flags;
        int64_t alarm_ms;
    };
    static constexpr unsigned kFanShift = 4; // 16 readings a block, 16 blocks a block above
    static constexpr size_t kFan = size_t{1} << kFanShift;

    Summary reading_summary(size_t i) const;
    void rebuild_from(size_t first);
    int64_t median_step() const;

    ChunkedColumn<int64_t> time_;
    ChunkedColumn<float> value_;
    ChunkedColumn<uint8_t> flags_;
    std::vector<uint32_t> run_start_;
    // levels_[k] has blocks of 16^(k+1) readings, in 64 KB chunks: a level that grows is never copied.
    std::vector<ChunkedColumn<Block, size_t{64} << 10>> levels_;
    size_t summarized_ = 0;                  // readings the pyramid covers
    size_t interval_sample_ = 0;             // readings the expected interval was taken from
    int64_t expected_ms_ = kDefaultIntervalMs;
    int64_t earliest_ = std::numeric_limits<int64_t>::max();
    int64_t latest_ = std::numeric_limits<int64_t>::min();
};

} // namespace tessaro::trend
