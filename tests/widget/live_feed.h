// Test helper: live frames built from a count and range, handed to the main window's frame handler.
#pragma once

#include "app/form1.h"

#include <QByteArray>

namespace tessaro::test {

// The three bytes of a live frame; bit 7 of the first is the low-battery flag.
inline QByteArray live_frame_bytes(int count, int range, bool low_batt = false) {
    QByteArray b;
    b.append(char((count >> 8) | (low_batt ? 0x80 : 0)));
    b.append(char(count & 0xFF));
    b.append(char(range));
    return b;
}

// One receive event's bytes handed to the live frame handler.
inline void feed_live(Form1& form, const QByteArray& bytes) {
    form.rx_bytes = bytes;
    form.live_frame();
}

} // namespace tessaro::test
