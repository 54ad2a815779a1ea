// Test helper: puts history records straight into the main window's record store.
#pragma once

#include "app/form1.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

namespace tessaro::test {

// Stores one record frame into slot s as the download does (record number s + 1).
inline void put_record(Form1& f, int s, int count, uint8_t range, int minute = 0, bool mark = false) {
    const uint8_t frame[8] = {static_cast<uint8_t>((mark ? 0x80 : 0) | ((count >> 8) & 0x7F)),
                              static_cast<uint8_t>(count & 0xFF),
                              range,
                              24,
                              5,
                              17,
                              10,
                              static_cast<uint8_t>(minute)};
    f.store_record(s, frame);
}

// n records in slots 0..n-1, numbered 1..n, in milliamperes with counts 1..n.
inline void fill_records(Form1& f, int n) {
    for (int s = 0; s < n; ++s) put_record(f, s, s + 1, 0x40, s % 60);
}

// Every occupied slot's record as one comparable tuple, sorted: equal lists mean no record
// was lost, doubled or altered.
using RecordTuple = std::tuple<float, float, uint8_t, uint8_t, std::array<int16_t, 5>>;
inline std::vector<RecordTuple> record_bag(const Form1& f) {
    std::vector<RecordTuple> bag;
    for (int s = 0; s < kSlots; ++s) {
        if (!f.occupied(s)) continue;
        const auto i = static_cast<size_t>(s);
        std::array<int16_t, 5> t{};
        for (size_t k = 0; k < 5; ++k) t[k] = f.rec_time[5 * i + k];
        bag.emplace_back(f.rec_no[i], f.rec_value[i], f.rec_range[i], f.rec_mark[i], t);
    }
    std::sort(bag.begin(), bag.end());
    return bag;
}

// The record numbers of slots 0..n-1 ("0" for an empty slot).
inline std::vector<float> numbers(const Form1& f, int n) {
    std::vector<float> v;
    for (int s = 0; s < n; ++s) v.push_back(f.occupied(s) ? f.rec_no[static_cast<size_t>(s)] : 0.0f);
    return v;
}

} // namespace tessaro::test
