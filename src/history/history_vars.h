// Variables of the history table: the page on show and the sort key.
#pragma once

#include <cstdint>

namespace tessaro {

struct HistoryVars {
    int16_t cur_page = 0;  // 0-based page on show
    int64_t sort_key = 0;  // current of the last record given to pai_ji; 64 bits hold any count
    bool sorting = false;  // a sort is running (its event pump lets clicks in)
};

} // namespace tessaro
