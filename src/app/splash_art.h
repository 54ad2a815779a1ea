// The splash window's pictures: the picture files on a ratio-1 screen, drawn afresh at a high-DPI
// screen's device-pixel ratio so that text and lines stay sharp.
#pragma once

#include <QPixmap>

namespace tessaro {

// The background, 802 x 466 logical pixels.
QPixmap splash_background(qreal ratio);
// The button picture in its first (1) or second (2) state, 97 x 49 logical pixels.
QPixmap splash_button(int state, qreal ratio);

} // namespace tessaro
