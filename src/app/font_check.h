// Whether an installed font can show the program's Chinese texts and marks.
#pragma once

#include <QString>
#include <QStringList>

namespace tessaro {

// Every character of the designed texts that a Latin font lacks: the print options window, the
// tooltips, the table's mark and the full-width question mark.
QString designed_cjk_characters();

// The installed font families that hold every character of text (needs a QGuiApplication).
QStringList families_covering(const QString& text);

// The warning for standard error when no installed font shows the designed texts; empty when one does.
QString missing_cjk_font_warning();

} // namespace tessaro
