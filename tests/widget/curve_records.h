// Records put straight into the main window's store for the curve view tests.
#pragma once

#include "app/form1.h"

#include <QColor>
#include <QImage>

#include <array>
#include <cstdint>

namespace tessaro::test {

// Stores a record of count (0..32767) in range code range into slot s, as a downloaded frame would.
inline void put_record(Form1& w, int s, char range, int count) {
    const std::array<uint8_t, 8> frame{static_cast<uint8_t>((count >> 8) & 0x7F),
                                       static_cast<uint8_t>(count & 0xFF),
                                       static_cast<uint8_t>(range),
                                       24,
                                       5,
                                       17,
                                       9,
                                       30};
    w.store_record(s, frame.data());
}

// Pixels of the history curve's colour in column x of the image.
inline int green_in_column(const QImage& image, int x) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == QColor(0, 255, 0)) ++n;
    return n;
}

} // namespace tessaro::test
