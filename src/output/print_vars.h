// The print request written by the print options window.
#pragma once

#include <cstdint>

namespace tessaro {

struct PrintVars {
    uint8_t dayinlin = 0; // 0 not answered, 10 print, 9 cancel
    int16_t dakai = 0;    // first sheet, from 0
    int16_t dajie = 0;    // last sheet, from 1
};

} // namespace tessaro
