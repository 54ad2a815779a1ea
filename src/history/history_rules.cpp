#include "history_rules.h"

#include "records/number_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace tessaro {

namespace {

// Counts beyond this are no reading of the meter; clamping keeps every key inside 64 bits.
constexpr int64_t kMaxCount = 1000000000000;

// Range code to the factor that turns counts into 0.001 mA; 0 for codes without one.
constexpr std::array<int64_t, 256> kFactor = [] {
    std::array<int64_t, 256> f{};
    f[0x30] = 1000000;
    f[0x31] = 100000;
    f[0x32] = 10000;
    f[0x33] = 1000;
    f[0x40] = 1000;
    f[0x41] = 100;
    f[0x42] = 10;
    f[0x43] = 1;
    return f;
}();

// Moves the records of slots 0..last to the front, keeping their order; returns the new
// highest occupied slot of that range (-1 when it holds none).
int close_gaps(RecordStore& store, int last) {
    if (last < 0) return last;
    const auto end = store.rec_range.begin() + (last + 1);
    if (std::find(store.rec_range.begin(), end, uint8_t{0}) == end) return last;
    int next = 0;
    for (int s = 0; s <= last; ++s) {
        if (!store.occupied(s)) continue;
        if (s != next) store.swap_records(next, s);
        ++next;
    }
    return next - 1;
}

bool whole_number_in(float v, int lo, int hi) {
    return std::isfinite(v) && std::floor(v) == v && v >= static_cast<float>(lo) && v <= static_cast<float>(hi);
}

// A copy of the five arrays over a span of slots.
struct SlotCopy {
    std::vector<uint8_t> mark, range;
    std::vector<float> value, no;
    std::vector<int16_t> time;

    // Slots lo..end-1; copy index 0 is slot lo.
    SlotCopy(const RecordStore& st, size_t lo, size_t end)
        : mark(st.rec_mark.begin() + lo, st.rec_mark.begin() + end),
          range(st.rec_range.begin() + lo, st.rec_range.begin() + end),
          value(st.rec_value.begin() + lo, st.rec_value.begin() + end),
          no(st.rec_no.begin() + lo, st.rec_no.begin() + end),
          time(st.rec_time.begin() + 5 * lo, st.rec_time.begin() + 5 * end) {}

    void put(RecordStore& st, size_t from, size_t to) const {
        st.rec_mark[to] = mark[from];
        st.rec_range[to] = range[from];
        st.rec_value[to] = value[from];
        st.rec_no[to] = no[from];
        for (size_t k = 0; k < 5; ++k) st.rec_time[5 * to + k] = time[5 * from + k];
    }
};

inline int64_t key_of(float value, uint8_t range) {
    const int64_t factor = kFactor[range];
    if (factor == 0 || std::isnan(value)) return 0;
    if (!(std::fabs(value) < static_cast<float>(kMaxCount))) return (value > 0 ? kMaxCount : -kMaxCount) * factor;
    // Counts are whole numbers; rounding (a library call) is needed only for the others.
    auto count = static_cast<int64_t>(value);
    if (static_cast<float>(count) != value) count = static_cast<int64_t>(nearest(value));
    return count * factor;
}

// One bubble pass over the keys: from[i] becomes the slot whose record ends in slot i.
// Written without branches on the keys (half the comparisons of unsorted records would
// be mispredicted).
template <typename Before>
void carry(const std::vector<int64_t>& keys, std::vector<int>& from, Before swap_needed) {
    const size_t n = keys.size();
    int64_t carried_key = keys[0];
    int carried = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        const int64_t next_key = keys[i + 1];
        const int next = static_cast<int>(i + 1);
        const bool swap = swap_needed(carried_key, next_key);
        from[i] = swap ? next : carried;
        carried = swap ? carried : next;
        carried_key = swap ? carried_key : next_key;
    }
    from[n - 1] = carried;
}

// Slot i of [lo, hi] takes the record that was in slot from[i] (also in [lo, hi]).
void apply_moves(RecordStore& st, const std::vector<int>& from, size_t lo, size_t hi) {
    const SlotCopy copy(st, lo, hi + 1);
    for (size_t i = lo; i <= hi; ++i) copy.put(st, static_cast<size_t>(from[i]) - lo, i);
}

} // namespace

int64_t sort_key(float value, uint8_t range) {
    return key_of(value, range);
}

void bubble_pass(RecordStore& store, int last, int k, SortOrder order) {
    last = close_gaps(store, std::min(last, kSlots - 1));
    const int top = last - std::max(k, 0);
    if (top <= 0) return;
    const auto n = static_cast<size_t>(top) + 1;
    // The pass runs on keys and slot numbers; the records then move once, over the span
    // the pass changed.
    std::vector<int64_t> keys(n);
    std::vector<int> from(n);
    for (size_t i = 0; i < n; ++i) keys[i] = key_of(store.rec_value[i], store.rec_range[i]);
    if (order == SortOrder::Ascend)
        carry(keys, from, std::less<int64_t>());
    else
        carry(keys, from, std::greater<int64_t>());
    size_t lo = 0, hi = n - 1;
    while (lo < n && from[lo] == static_cast<int>(lo)) ++lo;
    if (lo == n) return;
    while (from[hi] == static_cast<int>(hi)) --hi;
    apply_moves(store, from, lo, hi);
}

void restore_order(RecordStore& store) {
    // A record stored with range code 0 looks empty and a sort moved it behind the others; the
    // records numbered after it then stand above the highest occupied slot. The span reaches the
    // highest record number and every slot the download filled, so that each record, shown or
    // not, returns to the slot it was downloaded into.
    int n = std::max(store.last_occupied() + 1, std::min(store.filled_slots, kSlots));
    for (int s = 0; s < n; ++s) {
        const float no = store.rec_no[static_cast<size_t>(s)];
        if (store.occupied(s) && whole_number_in(no, n + 1, kSlots)) n = static_cast<int>(no);
    }
    if (n <= 0) return;
    const auto m = static_cast<size_t>(n);
    // A filled slot holds a record whatever its range byte; the others with range 0 are empty.
    const auto holds_record = [&](int s) { return store.occupied(s) || s < store.filled_slots; };

    // source[d]: the slot whose record goes to slot d. Shown records claim their numbers first,
    // then the hidden ones.
    std::vector<int> source(m, -1);
    std::vector<bool> placed(m, false);
    for (const bool shown : {true, false}) {
        for (int s = 0; s < n; ++s) {
            if (store.occupied(s) != shown || !holds_record(s)) continue;
            const float no = store.rec_no[static_cast<size_t>(s)];
            if (!whole_number_in(no, 1, n) || source[static_cast<size_t>(no) - 1] >= 0) continue;
            source[static_cast<size_t>(no) - 1] = s;
            placed[static_cast<size_t>(s)] = true;
        }
    }
    std::vector<int> strays, empties;
    for (int s = 0; s < n; ++s) {
        if (placed[static_cast<size_t>(s)]) continue;
        (holds_record(s) ? strays : empties).push_back(s);
    }
    // The free slots number exactly strays + empties: records first, in their present order.
    auto next_stray = strays.begin();
    auto next_empty = empties.begin();
    for (auto& src : source) {
        if (src >= 0) continue;
        src = next_stray != strays.end() ? *next_stray++ : *next_empty++;
    }

    const SlotCopy copy(store, 0, m);
    for (size_t d = 0; d < m; ++d) copy.put(store, static_cast<size_t>(source[d]), d);
}

QString page_status(int page_number, int page_count, int ji_ge) {
    return QStringLiteral("%1/%2Page   %3No").arg(page_number).arg(page_count).arg(ji_ge - 1);
}

PageMove up_target(int cur_page) {
    if (cur_page < 1) return {1, true};
    return {cur_page, false};
}

PageMove down_target(int cur_page, int page_count) {
    const int64_t t = int64_t{cur_page} + 2;
    if (t > page_count) return {page_count, true};
    return {static_cast<int>(t), false};
}

GotoResult goto_target(const QString& text, int page_count) {
    GotoResult r{text, std::nullopt};
    if (r.text.isEmpty()) {
        r.text = QStringLiteral("1");
    } else {
        const auto v = parse_number(r.text.toStdString());
        if (!v || *v > page_count) r.text = QString::number(page_count);
    }
    auto number = parse_number(r.text.toStdString());
    if (number && *number == 0.0) {
        r.text = QStringLiteral("1");
        number = 1.0;
    }
    if (!number) return r;
    const double page = nearest(*number);
    if (page < 1.0) return r; // rounds to no page: the page on show stays
    if (const auto p = to_int16(page)) r.page = *p;
    return r;
}

} // namespace tessaro
