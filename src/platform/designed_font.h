// The designed fonts of the windows' controls, fixed against the desktop's font settings.
#pragma once

#include <QFont>
#include <QString>

namespace tessaro {

// A font with every property set: neither the application's font nor a platform theme's fonts for
// a kind of control (push buttons, labels, ...) change it, so captions keep the size they were
// laid out for. The design's default is 9 pt "宋体".
inline QFont designed_font(double points = 9, bool bold = false, const char* family = "宋体") {
    QFont f(QString::fromUtf8(family));
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setResolveMask(QFont::AllPropertiesResolved);
    return f;
}

} // namespace tessaro
