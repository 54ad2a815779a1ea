// Where the main window stands: its outer frame at the top of the screen's free area, centred.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace tessaro {

// The client geometry (the window without its frame) for a window whose frame margins are
// `frame` and whose designed client size is `designed`: the whole frame inside `available`, its
// top edge at the top, centred; the client shrinks (and scrolls) where the screen is smaller.
QRect client_placement(const QRect& available, const QMargins& frame, const QSize& designed);

} // namespace tessaro
