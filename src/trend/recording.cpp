// The column store and its pyramid.
#include "recording.h"

#include <algorithm>

namespace tessaro::trend {

namespace {
// Steps sampled for the expected interval: enough for a stable median, cheap at any size.
constexpr size_t kIntervalSamples = 65536;
// Once this many readings told the interval, later readings no longer change it.
constexpr size_t kIntervalSettled = 1024;
} // namespace

void Summary::add(const Summary& o) {
    count += o.count;
    valued += o.valued;
    min = std::min(min, o.min);
    max = std::max(max, o.max);
    sum += o.sum;
    alarm_ms += o.alarm_ms;
    flags |= o.flags;
}

bool Recording::append(int64_t t, float amperes, uint8_t flags) {
    const size_t n = size();
    if (n >= kMaxReadings) return false;
    flags &= static_cast<uint8_t>(~kBackwards);
    if (n == 0 || t < time_[n - 1]) {
        if (n > 0) flags |= kBackwards;
        run_start_.push_back(static_cast<uint32_t>(n));
    }
    time_.push_back(t);
    value_.push_back((flags & kNoValue) ? 0.0f : amperes);
    flags_.push_back(flags);
    earliest_ = std::min(earliest_, t);
    latest_ = std::max(latest_, t);
    return true;
}

size_t Recording::lower_bound(size_t k, int64_t t) const {
    size_t lo = run_first(k), hi = run_end(k);
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (time_[mid] < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int64_t Recording::duration(size_t i) const {
    if (i + 1 < size()) {
        const int64_t step = time_[i + 1] - time_[i];
        if (step >= 0 && step <= gap_ms()) return step;
    }
    return expected_ms_;
}

Summary Recording::reading_summary(size_t i) const {
    Summary s;
    s.count = 1;
    s.flags = flags_[i];
    if (!(s.flags & kNoValue)) {
        s.valued = 1;
        s.min = s.max = value_[i];
        s.sum = value_[i];
    }
    if (s.flags & kAlarm) s.alarm_ms = duration(i);
    return s;
}

int64_t Recording::median_step() const {
    const size_t n = size();
    if (n < 2) return kDefaultIntervalMs;
    const size_t stride = std::max<size_t>(1, (n - 1) / kIntervalSamples);
    std::vector<int64_t> steps;
    steps.reserve(std::min(n - 1, kIntervalSamples + 1));
    for (size_t i = 1; i < n; i += stride) {
        const int64_t step = time_[i] - time_[i - 1];
        if (step > 0) steps.push_back(step);
    }
    if (steps.empty()) return kDefaultIntervalMs;
    auto mid = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    return *mid;
}

void Recording::update() {
    const size_t n = size();
    if (n == summarized_) return;
    size_t first = summarized_ == 0 ? 0 : summarized_ - 1; // the last one's duration changed
    if (interval_sample_ < kIntervalSettled) {
        const int64_t expected = median_step();
        interval_sample_ = n;
        if (expected != expected_ms_) {
            expected_ms_ = expected;
            first = 0;
        }
    }
    rebuild_from(first);
    summarized_ = n;
}

void Recording::rebuild_from(size_t first) {
    const size_t n = size();
    size_t below = n; // entries on the level below
    for (size_t k = 0;; ++k) {
        const size_t blocks = (below + kFan - 1) >> kFanShift;
        if (k >= levels_.size()) levels_.emplace_back();
        auto& level = levels_[k];
        const size_t from = (first >> (kFanShift * (k + 1)));
        level.resize(blocks);
        for (size_t b = from; b < blocks; ++b) {
            Summary s;
            const size_t lo = b << kFanShift, hi = std::min(below, lo + kFan);
            if (k == 0) {
                // reading_summary() added up, without its per-reading fields
                for (size_t i = lo; i < hi; ++i) {
                    const uint8_t f = flags_[i];
                    s.flags |= f;
                    if (!(f & kNoValue)) {
                        const float v = value_[i];
                        s.min = std::min(s.min, v);
                        s.max = std::max(s.max, v);
                        s.sum += v;
                        ++s.valued;
                    }
                    if (f & kAlarm) s.alarm_ms += duration(i);
                }
            } else {
                for (size_t i = lo; i < hi; ++i) {
                    const Block& e = levels_[k - 1][i];
                    s.min = std::min(s.min, e.min);
                    s.max = std::max(s.max, e.max);
                    s.sum += e.sum;
                    s.valued += e.valued;
                    s.flags |= e.flags;
                    s.alarm_ms += e.alarm_ms;
                }
            }
            level[b] = Block{s.min, s.max, s.sum, static_cast<uint32_t>(s.valued), s.flags, s.alarm_ms};
        }
        if (blocks <= 1) {
            levels_.resize(k + 1);
            break;
        }
        below = blocks;
    }
}

Summary Recording::summarize(size_t from, size_t to) const {
    Summary s;
    to = std::min(to, summarized_);
    size_t i = from;
    while (i < to) {
        // The largest block that starts at i and ends by to.
        size_t k = 0;
        while (k < levels_.size() && (i & ((size_t{1} << (kFanShift * (k + 1))) - 1)) == 0 &&
               i + (size_t{1} << (kFanShift * (k + 1))) <= to)
            ++k;
        if (k == 0) {
            s.add(reading_summary(i));
            ++i;
            continue;
        }
        const size_t span = size_t{1} << (kFanShift * k);
        const Block& e = levels_[k - 1][i >> (kFanShift * k)];
        s.count += span;
        s.valued += e.valued;
        s.min = std::min(s.min, e.min);
        s.max = std::max(s.max, e.max);
        s.sum += e.sum;
        s.flags |= e.flags;
        s.alarm_ms += e.alarm_ms;
        i += span;
    }
    return s;
}

size_t Recording::memory_bytes() const {
    size_t bytes = time_.memory_bytes() + value_.memory_bytes() + flags_.memory_bytes() +
                   run_start_.capacity() * sizeof(uint32_t);
    for (const auto& level : levels_) bytes += level.memory_bytes();
    return bytes;
}

} // namespace tessaro::trend
