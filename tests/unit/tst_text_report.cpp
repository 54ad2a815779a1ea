// The text report: exact lines, page headers, line ends and encoding.
#include "output/text_report.h"
#include "records/record_store.h"
#include "support/sample_lines.h"

#include <QtTest>

using namespace tessaro;

namespace {

const QByteArray kTitle = "                           Current Record   \r\n";
const QByteArray kFirstHeader = "  No      Current    Data     Time     Page 1\r\n";
const QByteArray kSeparator = "-------------------------------------- \r\n";
QByteArray header(int page) { return "  No      Current    Data     Time     Page" + QByteArray::number(page) + "\r\n"; }

QList<QByteArray> lines_of(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

} // namespace

class TstTextReport : public QObject {
    Q_OBJECT
private slots:
    void no_records_is_exact();
    void records_fill_pages_data();
    void records_fill_pages();
    void slots_outside_store_are_never_formatted();
    void store_lines_come_from_the_formatter();
};

void TstTextReport::no_records_is_exact() {
    // Catches any drift in the fixed texts, blanks, line ends or the trailing header.
    const QByteArray bytes = report_bytes(1, [](int) { return QStringLiteral("    "); });
    QByteArray expected = kTitle + kFirstHeader;
    for (int r = 0; r < 26; ++r) expected += "     \r\n";
    expected += kSeparator + header(2);
    QCOMPARE(bytes, expected);
    QCOMPARE(lines_of(bytes).size(), 30);
}

void TstTextReport::records_fill_pages_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("page_count");
    QTest::newRow("26 records, two pages") << 26 << 2;
    QTest::newRow("100 records with marks and OL") << 100 << 4;
    QTest::newRow("4601 records, a full meter") << 4601 << 177;
}

void TstTextReport::records_fill_pages() {
    // Catches a wrong slot per row, a lost or extra line, a header numbered wrong, a bare LF or a mark not in UTF-8.
    QFETCH(int, records);
    QFETCH(int, page_count);
    const QByteArray bytes = report_bytes(page_count, [records](int s) { return test::sample_line(s, records); });
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
    const QList<QByteArray> lines = lines_of(bytes);
    QCOMPARE(lines.size(), 2 + 28 * page_count);
    QCOMPARE(lines[0] + '\n', kTitle);
    QCOMPARE(lines[1] + '\n', kFirstHeader);
    for (int p = 0; p < page_count; ++p) {
        const int top = 2 + 28 * p;
        for (int r = 0; r < 26; ++r)
            QCOMPARE(lines[top + r], " " + test::sample_line(26 * p + r, records).toUtf8() + "\r");
        QCOMPARE(lines[top + 26] + '\n', kSeparator);
        QCOMPARE(lines[top + 27] + '\n', header(p + 2));
    }
    QVERIFY(bytes.contains("       \xE2\x96\xA0 \r\n"));
    QVERIFY(bytes.contains("   OL    "));
}

void TstTextReport::slots_outside_store_are_never_formatted() {
    // Catches asking the formatter for a slot past the store's 8001 slots.
    int highest = -1;
    const QByteArray bytes = report_bytes(400, [&highest](int s) {
        highest = std::max(highest, s);
        return QStringLiteral("x");
    });
    QCOMPARE(highest, 8000);
    const QList<QByteArray> lines = lines_of(bytes);
    QCOMPARE(lines.size(), 2 + 28 * 400);
    const int slot_8001_line = 2 + 28 * (8001 / 26) + 8001 % 26;
    QCOMPARE(lines[slot_8001_line - 1], QByteArray(" x\r"));
    QCOMPARE(lines[slot_8001_line], QByteArray("     \r"));
}

void TstTextReport::store_lines_come_from_the_formatter() {
    // Catches the report wired to something other than the record formatter of the store.
    auto store = std::make_unique<RecordStore>();
    store->rec_range[0] = 0x41;
    store->rec_value[0] = 123;
    store->rec_no[0] = 7;
    store->rec_mark[0] = 1;
    const std::array<int16_t, 5> when{24, 1, 5, 12, 34};
    std::copy(when.begin(), when.end(), store->rec_time.begin());
    store->count_records();
    const QList<QByteArray> lines = lines_of(report_bytes(store->page_count, record_lines(*store, QLocale::c())));
    QCOMPARE(lines.size(), 30);
    QVERIFY2(lines[2].startsWith(" No0007 12.3mA   "), lines[2].constData());
    QVERIFY2(lines[2].endsWith("       \xE2\x96\xA0 \r"), lines[2].constData());
    QCOMPARE(lines[3], QByteArray("     \r"));
}

QTEST_GUILESS_MAIN(TstTextReport)
#include "tst_text_report.moc"
