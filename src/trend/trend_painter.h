// The one renderer of a trend: paints onto any QPainter (a widget, a QImage, a QSvgGenerator).
#pragma once

#include "trend_geometry.h"

#include <QColor>
#include <QFont>

class QPainter;

namespace tessaro::trend {

// The picture's colours, fixed together (background and ink) so that no theme hides a part.
struct TrendColours {
    QColor background{255, 255, 255};
    QColor ink{0, 0, 0};
    QColor grid{225, 225, 225};
    QColor band{158, 197, 254};      // minimum-maximum band
    QColor line{11, 61, 145};        // mean line and single readings
    QColor overload{220, 20, 20};    // OL marks at the top edge
    QColor low_battery{255, 226, 140}; // shading of low-battery spans
    QColor backwards{200, 0, 200};   // where the time goes backwards
};

// Lays out and paints the picture of rec for request into target with font; returns the layout
// (for mapping the mouse to time and value).
TrendPicture paint_trend(QPainter& painter, const QRectF& target, const Recording& rec, const TrendRequest& request,
                         const QFont& font, const TrendColours& colours = {});

} // namespace tessaro::trend
