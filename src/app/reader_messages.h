// Qt's messages on standard error, less the ones a screen reader's lag makes by the row.
#pragma once

#include <QString>

namespace tessaro {

// Whether Qt says this only because a screen reader asked for a table cell by a number it counted
// before the table lost rows (the Ports window when a device goes away): the reader is told there
// is no such cell and reads the table again; nothing is wrong in the program.
bool is_stale_reader_message(const QString& text);

// Puts a filter in front of Qt's message handler that drops those messages and passes on every other.
void filter_stale_reader_messages();

} // namespace tessaro
