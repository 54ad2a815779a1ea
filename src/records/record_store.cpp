#include "record_store.h"

#include <algorithm>
#include <utility>

namespace tessaro {

void RecordStore::count_records() {
    int n = 1;
    for (uint8_t r : rec_range)
        if (r != 0) ++n;
    ji_ge = static_cast<int16_t>(n);
    page_count = static_cast<int16_t>(n / kRowsPerPage + 1);
}

void RecordStore::clear_records() {
    rec_range.fill(0);
    rec_value.fill(0.0f);
    rec_time.fill(0);
    filled_slots = 0;
}

bool RecordStore::store_record(int s, const uint8_t* b) {
    if (s < 0 || s >= kSlots) return false;
    const auto i = static_cast<size_t>(s);
    rec_mark[i] = (b[0] & 0x80) ? 1 : 0;
    rec_value[i] = static_cast<float>((b[0] & 0x7F) * 256 + b[1]);
    rec_range[i] = b[2];
    for (size_t k = 0; k < 5; ++k) rec_time[5 * i + k] = b[3 + k];
    rec_no[i] = static_cast<float>(s + 1);
    filled_slots = std::max(filled_slots, s + 1);
    return true;
}

void RecordStore::swap_records(int a, int b) {
    if (a < 0 || a >= kSlots || b < 0 || b >= kSlots) return;
    const auto i = static_cast<size_t>(a), j = static_cast<size_t>(b);
    std::swap(rec_mark[i], rec_mark[j]);
    std::swap(rec_range[i], rec_range[j]);
    std::swap(rec_value[i], rec_value[j]);
    std::swap(rec_no[i], rec_no[j]);
    for (size_t k = 0; k < 5; ++k) std::swap(rec_time[5 * i + k], rec_time[5 * j + k]);
}

bool plausible_record(const uint8_t* b) {
    const uint8_t range = b[2];
    const bool known_range = (range >= 0x30 && range <= 0x33) || (range >= 0x40 && range <= 0x43);
    const uint8_t month = b[4], day = b[5], hour = b[6], minute = b[7];
    return known_range && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59;
}

int RecordStore::last_occupied() const {
    for (int s = kSlots - 1; s >= 0; --s)
        if (rec_range[static_cast<size_t>(s)] != 0) return s;
    return -1;
}

} // namespace tessaro
