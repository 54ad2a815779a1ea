// The printed sheet's lines: which slot goes where, fonts and twip positions.
#include "output/sheet_layout.h"

#include <QtTest>

#include <set>

using namespace tessaro;

namespace {

QString slot_text(int s) { return QStringLiteral("S%1").arg(s); }

const QString kHeader = QStringLiteral(
    "         No    Current    Data     Time                               No    Current    Data     Time ");

} // namespace

class TstSheetLayout : public QObject {
    Q_OBJECT
private slots:
    void columns_hold_the_sheets_slots_data();
    void columns_hold_the_sheets_slots();
    void lines_sit_at_their_twips_data();
    void lines_sit_at_their_twips();
    void slots_outside_store_print_blank_data();
    void slots_outside_store_print_blank();
};

void TstSheetLayout::columns_hold_the_sheets_slots_data() {
    QTest::addColumn<int>("d");
    QTest::newRow("sheet 0") << 0;
    QTest::newRow("sheet 2") << 2;
    QTest::newRow("sheet 30") << 30;
}

void TstSheetLayout::columns_hold_the_sheets_slots() {
    // Catches a wrong sheet offset or column pairing (left k and right k are 78 slots apart).
    QFETCH(int, d);
    const std::vector<SheetLine> lines = sheet_layout(d, slot_text);
    QCOMPARE(lines.size(), size_t(3 + 2 * 78 + 2));
    for (int k = 0; k < 78; ++k) {
        const SheetLine& left = lines[size_t(3 + 2 * k)];
        const SheetLine& right = lines[size_t(4 + 2 * k)];
        QCOMPARE(left.text, QStringLiteral("       ") + slot_text(156 * d + k));
        QCOMPARE(right.text, slot_text(156 * d + 78 + k));
        QCOMPARE(left.x, 0);
        QCOMPARE(right.x, 7400);
        QVERIFY2(std::abs(right.y - left.y) < line_height_twips(9.5), "a row's two texts share one line");
    }
    for (const SheetLine& line : lines) QVERIFY(line.bold);
}

void TstSheetLayout::lines_sit_at_their_twips_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("title") << 0 << QStringLiteral("                   Current Record  ") << 20.0 << 0 << 0;
    QTest::newRow("empty line") << 1 << QStringLiteral("  ") << 10.0 << 0 << 400;
    QTest::newRow("column header") << 2 << kHeader << 10.0 << 0 << 600;
    QTest::newRow("row 0 left") << 3 << QStringLiteral("       S0") << 9.5 << 0 << 800;
    QTest::newRow("row 0 right") << 4 << QStringLiteral("S78") << 9.5 << 7400 << 790;
    QTest::newRow("row 1 left") << 5 << QStringLiteral("       S1") << 9.5 << 0 << 980;
    QTest::newRow("row 77 left") << 157 << QStringLiteral("       S77") << 9.5 << 0 << 14660;
    QTest::newRow("row 77 right") << 158 << QStringLiteral("S155") << 9.5 << 7400 << 14650;
    QTest::newRow("closing line 1") << 159 << QStringLiteral("     ") << 7.0 << 0 << 14840;
    QTest::newRow("closing line 2") << 160 << QStringLiteral("     ") << 7.0 << 0 << 14980;
}

void TstSheetLayout::lines_sit_at_their_twips() {
    // Catches a wrong line height (20 twips a point), a lost 200-twip rise or a wrong font size.
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(double, points);
    QFETCH(int, x);
    QFETCH(int, y);
    const std::vector<SheetLine> lines = sheet_layout(0, slot_text);
    const SheetLine& line = lines.at(size_t(index));
    QCOMPARE(line.text, text);
    QCOMPARE(line.points, points);
    QCOMPARE(line.x, x);
    QCOMPARE(line.y, y);
}

void TstSheetLayout::slots_outside_store_print_blank_data() {
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("asked"); // how many slots may be formatted
    QTest::newRow("sheet -1") << -1 << 0;
    QTest::newRow("sheet 51 ends past slot 8000") << 51 << 8001 - 156 * 51;
    QTest::newRow("sheet 32767") << 32767 << 0;
}

void TstSheetLayout::slots_outside_store_print_blank() {
    // Catches formatting a slot below 0 or past 8000 (out-of-bounds reads in the store).
    QFETCH(int, d);
    QFETCH(int, asked);
    std::set<int> seen;
    const std::vector<SheetLine> lines = sheet_layout(d, [&seen](int s) {
        seen.insert(s);
        return slot_text(s);
    });
    QCOMPARE(int(seen.size()), asked);
    if (!seen.empty()) QVERIFY(*seen.begin() >= 0 && *seen.rbegin() <= 8000);
    QCOMPARE(lines.size(), size_t(161));
    int blanks = 0;
    for (size_t i = 3; i < 159; ++i)
        if (lines[i].text.trimmed().isEmpty()) ++blanks;
    QCOMPARE(blanks, 156 - asked);
}

QTEST_GUILESS_MAIN(TstSheetLayout)
#include "tst_sheet_layout.moc"
