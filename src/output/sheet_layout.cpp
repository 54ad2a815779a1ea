#include "sheet_layout.h"

#include "records/record_store.h"

#include <cmath>

namespace tessaro {

namespace {

constexpr int kRightColumnX = 7400;
constexpr int kRightColumnRise = 200;
constexpr int kPagesPerColumn = 3;

const QString kTitle = QStringLiteral("                   Current Record  ");
const QString kColumns = QStringLiteral(
    "         No    Current    Data     Time                               No    Current    Data     Time ");
const QString kLeftIndent(7, QLatin1Char(' '));

// The printer's current position: each printed line moves it to the start of the next line.
struct Pen {
    std::vector<SheetLine>& lines;
    double points = 0;
    int x = 0;
    int y = 0;

    void print(const QString& text) {
        lines.push_back(SheetLine{text, points, true, x, y});
        x = 0;
        y += line_height_twips(points);
    }
};

} // namespace

int line_height_twips(double points) { return static_cast<int>(std::lround(points * kTwipsPerPoint)); }

std::vector<SheetLine> sheet_layout(int d, const LineOf& line_of) {
    std::vector<SheetLine> lines;
    Pen pen{lines};
    pen.points = 20;
    pen.print(kTitle);
    pen.points = 10;
    pen.print(QStringLiteral("  "));
    pen.print(kColumns);
    pen.points = 9.5;
    const long long first_page = 6LL * d;
    for (long long p = first_page; p < first_page + kPagesPerColumn; ++p) {
        for (int r = 0; r < kRowsPerPage; ++r) {
            const long long left = p * kRowsPerPage + r;
            const long long right = left + kPagesPerColumn * kRowsPerPage;
            auto slot = [](long long s) { return s < 0 || s >= kSlots ? -1 : static_cast<int>(s); };
            pen.x = 0;
            pen.print(kLeftIndent + line_for_slot(line_of, slot(left)));
            pen.y -= kRightColumnRise;
            pen.x = kRightColumnX;
            pen.print(line_for_slot(line_of, slot(right)));
        }
    }
    pen.points = 7;
    pen.print(QStringLiteral("     "));
    pen.print(QStringLiteral("     "));
    return lines;
}

} // namespace tessaro
