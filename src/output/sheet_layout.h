// The text lines of one printed sheet of 156 records, with their twip positions.
#pragma once

#include "output/line_source.h"

#include <QString>

#include <vector>

namespace tessaro {

inline constexpr int kTwipsPerPoint = 20;
inline constexpr int kSlotsPerSheet = 156;
inline constexpr int kSheetColumnSlots = 78;

struct SheetLine {
    QString text;
    double points = 0; // font size
    bool bold = true;
    int x = 0;         // top-left corner, twips from the printable area's corner
    int y = 0;
};

// The line height of a font size: 20 twips a point.
int line_height_twips(double points);

// Sheet d (from 0): slots 156d .. 156d+77 on the left, 156d+78 .. 156d+155 on the right.
// Slots outside the store print as blank lines and are never formatted.
std::vector<SheetLine> sheet_layout(int d, const LineOf& line_of);

} // namespace tessaro
