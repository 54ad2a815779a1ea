// Printing a range of sheets of the history records.
#pragma once

#include "output/line_source.h"

#include <QFont>
#include <QString>

#include <optional>

class QPrinter;

namespace tessaro {

// The font of the printed sheets: "Song typeface", mapped to an installed CJK fixed-pitch face.
QFont print_font();

// Prints sheets dakai .. dajie-1 (from 0), one page each; an empty range starts no document.
// When a sheet is larger than the printable area, the whole job is scaled down by the one
// factor the largest sheet needs. Printing to a file writes it whole or leaves the old one.
// nullopt on success, otherwise the reason, naming the printer or the output file.
std::optional<QString> print_sheets(QPrinter& printer, int dakai, int dajie, const LineOf& line_of,
                                    const QFont& family);

} // namespace tessaro
