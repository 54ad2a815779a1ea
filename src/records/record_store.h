// The record store: parallel arrays of 8001 slots and the counters derived from them.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace tessaro {

inline constexpr int kSlots = 8001;          // slots 0..8000
inline constexpr int kTimeEntries = 5 * kSlots; // room for the date and time of every slot
inline constexpr int kRowsPerPage = 26;

struct RecordStore {
    std::array<uint8_t, kSlots> rec_mark{};
    std::array<float, kSlots> rec_value{};
    std::array<uint8_t, kSlots> rec_range{};
    std::array<int16_t, kTimeEntries> rec_time{};
    std::array<float, kSlots> rec_no{};
    int16_t ji_ge = 0;      // records + 1
    int16_t page_count = 0; // ji_ge div 26 + 1
    // One past the highest slot a record frame was stored into since the store was last
    // cleared. A record whose range byte is 0 looks like an empty slot; this tells it apart from
    // one, so that Restore can put it back where it was downloaded.
    int filled_slots = 0;
    QString rec_text;       // the line of the last slot formatted

    // Recomputes ji_ge and page_count from rec_range.
    void count_records();
    // Sets rec_range, rec_value and every rec_time entry to 0; marks and numbers stay.
    // No slot counts as filled afterwards.
    void clear_records();
    // Stores one 8-byte record frame into slot s (0..kSlots-1); false when s is outside.
    bool store_record(int s, const uint8_t* frame);
    // Exchanges two whole records (mark, range, value, number, five time entries);
    // does nothing when a slot is outside the store.
    void swap_records(int a, int b);
    // The highest occupied slot, or -1 when the store is empty.
    int last_occupied() const;
    bool occupied(int s) const { return s >= 0 && s < kSlots && rec_range[static_cast<size_t>(s)] != 0; }
};

// Whether an 8-byte record frame can be a record the meter holds: a known range code and a
// month, day, hour and minute of a calendar. A frame shifted by stray bytes on the line fails it.
bool plausible_record(const uint8_t* frame);

} // namespace tessaro
