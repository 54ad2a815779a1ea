#include "history_rules.h"

#include "records/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace tessaro {

namespace {

// Counts beyond this are no reading of the meter; clamping keeps every key well inside
// 64 bits, so the sentinels below never meet a real key.
constexpr double kMaxCount = 1e12;

int64_t range_factor(uint8_t range) {
    switch (range) {
    case 0x30: return 1000000;
    case 0x31: return 100000;
    case 0x32: return 10000;
    case 0x33: return 1000;
    case 0x40: return 1000;
    case 0x41: return 100;
    case 0x42: return 10;
    case 0x43: return 1;
    default: return 0;
    }
}

// The key an empty slot gets so that it sorts after every record.
int64_t empty_key(SortOrder order) {
    return order == SortOrder::Ascend ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

bool out_of_order(int64_t a, int64_t b, SortOrder order) {
    return order == SortOrder::Ascend ? a < b : a > b;
}

bool whole_number_in(float v, int lo, int hi) {
    return std::isfinite(v) && std::floor(v) == v && v >= static_cast<float>(lo) && v <= static_cast<float>(hi);
}

// Copies of the five arrays for slots 0..n-1.
struct SlotCopy {
    std::vector<uint8_t> mark, range;
    std::vector<float> value, no;
    std::vector<int16_t> time;

    SlotCopy(const RecordStore& st, int n) {
        const auto m = static_cast<size_t>(n);
        mark.assign(st.rec_mark.begin(), st.rec_mark.begin() + n);
        range.assign(st.rec_range.begin(), st.rec_range.begin() + n);
        value.assign(st.rec_value.begin(), st.rec_value.begin() + n);
        no.assign(st.rec_no.begin(), st.rec_no.begin() + n);
        time.assign(st.rec_time.begin(), st.rec_time.begin() + static_cast<std::ptrdiff_t>(5 * m));
    }

    void put(RecordStore& st, size_t from, size_t to) const {
        st.rec_mark[to] = mark[from];
        st.rec_range[to] = range[from];
        st.rec_value[to] = value[from];
        st.rec_no[to] = no[from];
        for (size_t k = 0; k < 5; ++k) st.rec_time[5 * to + k] = time[5 * from + k];
    }
};

} // namespace

int64_t sort_key(float value, uint8_t range) {
    const int64_t factor = range_factor(range);
    if (factor == 0 || !std::isfinite(value)) return 0;
    const double count = std::clamp(nearest(value), -kMaxCount, kMaxCount);
    return static_cast<int64_t>(count) * factor;
}

void bubble_pass(RecordStore& store, int last, int k, SortOrder order) {
    const int top = std::min(last, kSlots - 1) - std::max(k, 0);
    if (top <= 0) return;
    // Keys are computed once per pass and travel with their records.
    std::vector<int64_t> keys(static_cast<size_t>(top) + 1);
    for (int s = 0; s <= top; ++s) {
        const auto i = static_cast<size_t>(s);
        keys[i] = store.occupied(s) ? sort_key(store.rec_value[i], store.rec_range[i]) : empty_key(order);
    }
    for (int s = 0; s < top; ++s) {
        const auto i = static_cast<size_t>(s);
        if (out_of_order(keys[i], keys[i + 1], order)) {
            store.swap_records(s, s + 1);
            std::swap(keys[i], keys[i + 1]);
        }
    }
}

int last_sort_pass(int ji_ge, int last) {
    return std::max(ji_ge, last + 1);
}

void restore_order(RecordStore& store) {
    const int last = store.last_occupied();
    if (last < 0) return;
    const int n = last + 1;
    const auto m = static_cast<size_t>(n);

    // source[d]: the slot whose record goes to slot d.
    std::vector<int> source(m, -1);
    std::vector<int> strays, empties;
    for (int s = 0; s < n; ++s) {
        if (!store.occupied(s)) {
            empties.push_back(s);
            continue;
        }
        const float no = store.rec_no[static_cast<size_t>(s)];
        if (whole_number_in(no, 1, n) && source[static_cast<size_t>(no) - 1] < 0)
            source[static_cast<size_t>(no) - 1] = s;
        else
            strays.push_back(s);
    }
    // The free slots number exactly strays + empties: records first, in their present order.
    auto next_stray = strays.begin();
    auto next_empty = empties.begin();
    for (auto& src : source) {
        if (src >= 0) continue;
        src = next_stray != strays.end() ? *next_stray++ : *next_empty++;
    }

    const SlotCopy copy(store, n);
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
