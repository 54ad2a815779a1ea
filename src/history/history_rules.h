// Rules of the history table without widgets: sort keys and passes, restore, paging.
#pragma once

#include "records/record_store.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tessaro {

// The current of a reading in 0.001 mA: `value` counts (rounded to nearest) times the
// factor of range code `range`; 0 for a code without a factor.
int64_t sort_key(float value, uint8_t range);

// "Ascend" leaves the largest current in slot 0, "Descend" the smallest.
enum class SortOrder { Ascend, Descend };

// Pass k of the bubble sort over slots 0..last (the highest occupied slot): first closes
// any gap so that the records stand in slots 0..m, then compares slots i and i + 1 for
// i = 0..m - k - 1 and swaps whole records when they are strictly out of order (equal
// keys never swap). Passes k = 0..ji_ge sort every record.
void bubble_pass(RecordStore& store, int last, int k, SortOrder order);

// Puts the records back in the slots their record numbers name (slot s holds record s + 1),
// over slots 0..the highest occupied slot or the highest record number, whichever is higher. Records whose number is outside 1..n, not whole, or repeated keep their relative
// order and fill the slots left free, ahead of the empty slots. Nothing is lost or doubled.
void restore_order(RecordStore& store);

// "T/NPage   RNo" with R = ji_ge - 1.
QString page_status(int page_number, int page_count, int ji_ge);

struct PageMove {
    int page;     // 1-based page number to show
    bool message; // show "First Page" / "Last Page" first
};

// Up from page index cur_page (0-based): the page before, or page 1 with "First Page".
PageMove up_target(int cur_page);
// Down from page index cur_page: the page after, or the last page with "Last Page".
PageMove down_target(int cur_page, int page_count);

struct GotoResult {
    QString text;            // the Go-to box text after its corrections
    std::optional<int> page; // page to show; none keeps the page on show
};

// The Go-to command for the typed text.
GotoResult goto_target(const QString& text, int page_count);

} // namespace tessaro
