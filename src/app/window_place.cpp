#include "window_place.h"

#include <algorithm>

namespace tessaro {

QRect client_placement(const QRect& available, const QMargins& frame, const QSize& designed) {
    const int frame_w = frame.left() + frame.right();
    const int frame_h = frame.top() + frame.bottom();
    const QSize room(std::max(1, available.width() - frame_w), std::max(1, available.height() - frame_h));
    const QSize client = designed.boundedTo(room);
    const int left = available.x() + std::max(0, (available.width() - client.width() - frame_w) / 2);
    return QRect(QPoint(left + frame.left(), available.y() + frame.top()), client);
}

} // namespace tessaro
