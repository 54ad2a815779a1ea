// The records file: CSV lines of a record, round trips through the store, refusals, spreadsheet variants.
#include "records/records_csv.h"
#include "records/record_store.h"

#include <QLocale>
#include <QTest>

#include <variant>

using namespace tessaro;

namespace {

FileRecord rec(int number, int count, uint8_t range, uint8_t mark, std::array<uint8_t, 5> date = {24, 3, 5, 14, 7}) {
    FileRecord r;
    r.number = number;
    r.count = count;
    r.range = range;
    r.mark = mark;
    r.date = date;
    return r;
}

// Every range code, marks, the OL band and its edges, dates that are no dates, then plain
// records up to `total`.
std::vector<FileRecord> varied_records(int total) {
    std::vector<FileRecord> out;
    const uint8_t ranges[] = {0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43, 0x01, 0x2F, 0x44, 0xFF};
    const int counts[] = {0, 5, 7, 120, 123, 3700, 3701, 4000, 4799, 4800, 32767};
    const std::array<uint8_t, 5> dates[] = {
        {24, 3, 5, 14, 7}, {0, 1, 1, 0, 0}, {29, 12, 31, 23, 59}, {30, 2, 29, 0, 0}, {99, 2, 28, 1, 2},
        {24, 0, 5, 1, 1}, {24, 13, 5, 1, 1}, {23, 2, 29, 1, 1}, {24, 1, 1, 24, 0}, {24, 1, 1, 0, 60},
        {255, 255, 255, 255, 255}, {100, 1, 1, 0, 0}};
    int n = 0;
    for (uint8_t r : ranges)
        for (int c : counts) {
            out.push_back(rec(n + 1, c, r, static_cast<uint8_t>(n % 3 == 0), dates[static_cast<size_t>(n) % std::size(dates)]));
            ++n;
        }
    while (n < total) {
        out.push_back(rec(n + 1, (n * 37) % 32768, ranges[static_cast<size_t>(n) % 8], static_cast<uint8_t>(n % 2),
                          {static_cast<uint8_t>(n % 100), static_cast<uint8_t>(n % 12 + 1), static_cast<uint8_t>(n % 28 + 1),
                           static_cast<uint8_t>(n % 24), static_cast<uint8_t>(n % 60)}));
        ++n;
    }
    return out;
}

std::vector<FileRecord> read_ok(const QByteArray& bytes) {
    auto result = read_records_csv(bytes);
    if (const auto* refusal = std::get_if<CsvRefusal>(&result)) {
        qWarning() << csv_refusal_text(*refusal);
        return {};
    }
    return std::get<std::vector<FileRecord>>(result);
}

const QByteArray kHeader = "record,time,current_a,shown,count,range_code,mark,year,month,day,hour,minute\r\n";

} // namespace

class TstRecordsCsv : public QObject {
    Q_OBJECT
private slots:
    // Catches wrong derived columns: amperes not exact, a wrong century, OL or unknown ranges given a value.
    void line_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        QTest::addColumn<int>("mark");
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("12.3 mA") << 123 << 0x41 << 0 << QByteArray("\x18\x03\x05\x0e\x07", 5)
                                 << QByteArray("7,2024-03-05T14:07,0.0123,12.3mA,123,65,0,24,3,5,14,7\r\n");
        QTest::newRow("marked 0.50 mA, 1999") << 50 << 0x42 << 1 << QByteArray("\x63\x0c\x1f\x17\x3b", 5)
                                              << QByteArray("7,1999-12-31T23:59,0.0005,0.50mA,50,66,1,99,12,31,23,59\r\n");
        QTest::newRow("whole amperes, 2029") << 20 << 0x30 << 0 << QByteArray("\x1d\x01\x01\x00\x00", 5)
                                             << QByteArray("7,2029-01-01T00:00,20,20A,20,48,0,29,1,1,0,0\r\n");
        QTest::newRow("zero, 1930") << 0 << 0x33 << 0 << QByteArray("\x1e\x01\x01\x00\x00", 5)
                                    << QByteArray("7,1930-01-01T00:00,0,0A,0,51,0,30,1,1,0,0\r\n");
        QTest::newRow("32767 microamps") << 32767 << 0x43 << 0 << QByteArray("\x18\x01\x01\x00\x00", 5)
                                         << QByteArray("7,2024-01-01T00:00,0.032767,32.767mA,32767,67,0,24,1,1,0,0\r\n");
        QTest::newRow("OL band") << 4000 << 0x41 << 1 << QByteArray("\x18\x01\x01\x00\x00", 5)
                                 << QByteArray("7,2024-01-01T00:00,,OL,4000,65,1,24,1,1,0,0\r\n");
        QTest::newRow("3700 is a number") << 3700 << 0x30 << 0 << QByteArray("\x18\x01\x01\x00\x00", 5)
                                          << QByteArray("7,2024-01-01T00:00,3700,3700A,3700,48,0,24,1,1,0,0\r\n");
        QTest::newRow("unknown range") << 12 << 0x44 << 0 << QByteArray("\x18\x01\x01\x00\x00", 5)
                                       << QByteArray("7,2024-01-01T00:00,,,12,68,0,24,1,1,0,0\r\n");
        QTest::newRow("month 13") << 1 << 0x40 << 0 << QByteArray("\x18\x0d\x01\x00\x00", 5)
                                  << QByteArray("7,,0.001,1mA,1,64,0,24,13,1,0,0\r\n");
        QTest::newRow("29 Feb 2023") << 1 << 0x40 << 0 << QByteArray("\x17\x02\x1d\x00\x00", 5)
                                     << QByteArray("7,,0.001,1mA,1,64,0,23,2,29,0,0\r\n");
        QTest::newRow("hour 24") << 1 << 0x40 << 0 << QByteArray("\x18\x01\x01\x18\x00", 5)
                                 << QByteArray("7,,0.001,1mA,1,64,0,24,1,1,24,0\r\n");
        QTest::newRow("year byte 100") << 1 << 0x40 << 0 << QByteArray("\x64\x01\x01\x00\x00", 5)
                                       << QByteArray("7,,0.001,1mA,1,64,0,100,1,1,0,0\r\n");
    }
    void line() {
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(int, mark);
        QFETCH(QByteArray, date);
        QFETCH(QByteArray, line);
        std::array<uint8_t, 5> d{};
        for (size_t k = 0; k < 5; ++k) d[k] = static_cast<uint8_t>(date[static_cast<qsizetype>(k)]);
        QCOMPARE(records_csv_line(rec(7, count, static_cast<uint8_t>(range), static_cast<uint8_t>(mark), d)), line);
    }

    // Catches a field lost or changed on the way store -> file -> store -> file, at the largest store a download fills.
    void round_trip_is_byte_identical_data() {
        QTest::addColumn<int>("total");
        QTest::newRow("every kind") << 132;
        QTest::newRow("4600 records") << 4600;
        QTest::newRow("4601 records, a full download") << kMaxFileRecords;
    }
    void round_trip_is_byte_identical() {
        QFETCH(int, total);
        RecordStore store;
        load_records(store, varied_records(total));
        QCOMPARE(store.ji_ge, total + 1);
        const QByteArray first = records_csv(store);
        QVERIFY(first.startsWith(kHeader));
        QCOMPARE(first.count('\n'), total + 1);

        auto read = read_records_csv(first);
        QVERIFY(std::holds_alternative<std::vector<FileRecord>>(read));
        QCOMPARE(std::get<std::vector<FileRecord>>(read), varied_records(total));

        RecordStore again;
        load_records(again, std::get<std::vector<FileRecord>>(read));
        QCOMPARE(records_csv(again), first);
        QCOMPARE(again.rec_value, store.rec_value);
        QCOMPARE(again.rec_range, store.rec_range);
        QCOMPARE(again.rec_time, store.rec_time);
        QCOMPARE(records_csv(varied_records(total)), first);
    }

    // Catches exporting a store with stale slots: only occupied slots, in slot order, with their own numbers.
    void export_skips_empty_slots() {
        RecordStore store;
        store.rec_range[0] = 0x41; store.rec_value[0] = 1; store.rec_no[0] = 9;
        store.rec_range[2] = 0x42; store.rec_value[2] = 2; store.rec_no[2] = 3;
        store.rec_no[1] = 5; store.rec_value[1] = 77; // empty: range 0
        const QByteArray csv = records_csv(store);
        QCOMPARE(csv.count('\n'), 3);
        QVERIFY(csv.contains("\r\n9,"));
        QVERIFY(csv.contains("\r\n3,"));
        QVERIFY(!csv.contains(",77,"));
    }

    // Catches a bad file reaching the store: each is refused with its line and reason.
    void refusal_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("error");
        const QByteArray good = "1,,,,5,65,0,24,1,1,0,0\r\n";
        QTest::newRow("empty") << QByteArray() << 0 << int(CsvError::Empty);
        QTest::newRow("only a BOM and blank lines") << QByteArray("\xEF\xBB\xBF\r\n\r\n") << 0 << int(CsvError::Empty);
        QTest::newRow("not UTF-8") << QByteArray(kHeader + "1,,,\xff\xfe,5,65,0,24,1,1,0,0\r\n") << 0 << int(CsvError::NotUtf8);
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFEr\0e\0c\0", 8) << 0 << int(CsvError::NotUtf8);
        QTest::newRow("wrong header") << QByteArray("No,Value\r\n" + good) << 1 << int(CsvError::BadHeader);
        QTest::newRow("header column missing") << QByteArray("record,time,current_a,shown,count,range_code,mark,year,month,day,hour\r\n") << 1 << int(CsvError::BadHeader);
        QTest::newRow("the text report") << QByteArray("No0001 12.3mA   1/5/24  3:04:00 PM\r\n") << 1 << int(CsvError::BadHeader);
        QTest::newRow("count 32768") << QByteArray(kHeader + good + "2,,,,32768,65,0,24,1,1,0,0\r\n") << 3 << int(CsvError::BadCount);
        QTest::newRow("count -1") << QByteArray(kHeader + "2,,,,-1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadCount);
        QTest::newRow("count 1.5") << QByteArray(kHeader + "2,,,,1.5,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadCount);
        QTest::newRow("count empty") << QByteArray(kHeader + "2,,,,,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadCount);
        QTest::newRow("range 0 would vanish") << QByteArray(kHeader + "2,,,,1,0,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadRange);
        QTest::newRow("range 256") << QByteArray(kHeader + "2,,,,1,256,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadRange);
        QTest::newRow("range as a letter") << QByteArray(kHeader + "2,,,,1,A,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadRange);
        QTest::newRow("mark 2") << QByteArray(kHeader + "2,,,,1,65,2,24,1,1,0,0\r\n") << 2 << int(CsvError::BadMark);
        QTest::newRow("minute 256") << QByteArray(kHeader + "2,,,,1,65,0,24,1,1,0,256\r\n") << 2 << int(CsvError::BadDateByte);
        QTest::newRow("record number 0") << QByteArray(kHeader + "0,,,,1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadNumber);
        QTest::newRow("record number huge") << QByteArray(kHeader + "99999999999,,,,1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadNumber);
        QTest::newRow("short line") << QByteArray(kHeader + good + good + "3,,,,1,65\r\n") << 4 << int(CsvError::MissingFields);
        QTest::newRow("stray quote") << QByteArray(kHeader + "2,,,1\"2,1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadQuoting);
        QTest::newRow("unclosed quote") << QByteArray(kHeader + "2,,,\"12,1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadQuoting);
        QTest::newRow("line break in a quoted count") << QByteArray(kHeader + good + "2,,,,\"12\r\n3\",65,0,24,1,1,0,0\r\n") << 3 << int(CsvError::LineBreak);
        QTest::newRow("line break after a quoted mark") << QByteArray(kHeader + "2,,,,1,65,\"1\n\",24,1,1,0,0\r\n") << 2 << int(CsvError::LineBreak);
        QTest::newRow("line break in a quoted derived column") << QByteArray(kHeader + "2,,,\"12.3\nmA\",1,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::LineBreak);
        QTest::newRow("line break in the header") << QByteArray("\"record\n\",time,current_a,shown,count,range_code,mark,year,month,day,hour,minute\r\n") << 1 << int(CsvError::LineBreak);
        QTest::newRow("lines of a note are counted")
            << QByteArray(kHeader + "1,,,,5,65,0,24,1,1,0,0,\"a\r\nb\nc\r\r\nd\"\r\n2,,,,x,65,0,24,1,1,0,0\r\n") << 6 << int(CsvError::BadCount);
        QTest::newRow("unclosed note, from its line") << QByteArray(kHeader + good + "2,,,,1,65,0,24,1,1,0,0,\"a\r\nb\r\n") << 3 << int(CsvError::BadQuoting);
        QByteArray many = kHeader;
        for (int i = 0; i < kMaxFileRecords + 1; ++i) many += good;
        QTest::newRow("one record too many") << many << kMaxFileRecords + 2 << int(CsvError::TooManyRecords);
        // Blank lines are no records: with one between every two, the limit still counts records.
        QByteArray spaced = kHeader;
        for (int i = 0; i < kMaxFileRecords + 1; ++i) spaced += "\r\n" + good;
        QTest::newRow("one record too many, blank lines between") << spaced << 2 * kMaxFileRecords + 3 << int(CsvError::TooManyRecords);
        QTest::newRow("5000 blank lines, then another header")
            << QByteArray(QByteArray("\r\n").repeated(5000) + "No,Value\r\n" + good) << 5001 << int(CsvError::BadHeader);
        QTest::newRow("5000 blank lines and nothing else") << QByteArray("\n").repeated(5000) << 0 << int(CsvError::Empty);
        QTest::newRow("CR CR LF lines counted once") << QByteArray(QByteArray(kHeader + good + good + "3,,,,1,66,7,24,1,1,0,0\r\n").replace("\r\n", "\r\r\n"))
                                                   << 4 << int(CsvError::BadMark);
        QTest::newRow("bad line after a million separators")
            << QByteArray(kHeader + QByteArray(1000000, ',') + "\r\n" + "x" + QByteArray(1000000, ',') + "\r\n") << 3 << int(CsvError::BadNumber);
        QTest::newRow("a field of a million digits")
            << QByteArray(kHeader + "2,,,," + QByteArray(1000000, '7') + ",65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::BadCount);
    }
    void refusal() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(int, error);
        const auto result = read_records_csv(bytes);
        QVERIFY(std::holds_alternative<CsvRefusal>(result));
        const CsvRefusal refusal = std::get<CsvRefusal>(result);
        QCOMPARE(int(refusal.error), error);
        QCOMPARE(refusal.line, line);
        const QString text = csv_refusal_text(refusal);
        QVERIFY(!text.isEmpty());
        if (line > 0) QVERIFY(text.startsWith(QStringLiteral("Line %1: ").arg(line)));
    }

    // Catches spreadsheet output being refused: LF lines, quotes, a BOM, extra columns, rewritten derived columns.
    void spreadsheet_variants_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray ours = records_csv(std::vector<FileRecord>{rec(1, 123, 0x41, 0), rec(2, 4000, 0x42, 1)});
        QByteArray lf = ours;
        lf.replace("\r\n", "\n");
        QTest::newRow("ours") << ours;
        QTest::newRow("LF lines") << lf;
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF" + ours);
        QTest::newRow("no final line end") << ours.chopped(2);
        QTest::newRow("blank lines at the end") << QByteArray(ours + "\r\n\r\n");
        QTest::newRow("every field quoted, extra column, rewritten time")
            << QByteArray("\"record\",\"time\",\"current_a\",\"shown\",\"count\",\"range_code\",\"mark\",\"year\",\"month\",\"day\",\"hour\",\"minute\",\"note\"\n"
                          "\"1\",\"05.03.2024 14:07\",\"0,0123\",\"12.3mA\",\"123\",\"65\",\"0\",\"24\",\"3\",\"5\",\"14\",\"7\",\"a, \"\"quoted\"\"\nnote\"\n"
                          "\" 2 \",,,\"OL\",4000,66,1,24,3,5,14,7,\n");
        QTest::newRow("header in capitals") << QByteArray(QByteArray(ours).replace("record,time", "RECORD,Time"));
        const QByteArray semi = "record;time;current_a;shown;count;range_code;mark;year;month;day;hour;minute\r\n"
                                "1;05.03.2024 14:07;0,0123;12,3mA;123;65;0;24;3;5;14;7\r\n"
                                "2;05.03.2024 14:07;;OL;4000;66;1;24;3;5;14;7\r\n";
        QTest::newRow("semicolon CSV with a decimal comma") << semi;
        QTest::newRow("semicolon CSV: quoted, a BOM, emptied rows, a note with a comma")
            << QByteArray("\xEF\xBB\xBF;;;;;;;;;;;\r\n\"Record\";\"Time\";current_a;shown;count;range_code;mark;year;month;day;hour;minute;Note\r\n"
                          ";;;;;;;;;;;;\r\n"
                          "1;\"05.03.2024 14:07\";\"0,0123\";12,3mA;123;65;0;24;3;5;14;7;\"a; b, c\"\r\n"
                          "2;;;OL;4000;66;1;24;3;5;14;7\r\n");
        QTest::newRow("notes over several lines (Alt+Enter)")
            << QByteArray(QByteArray(ours).replace("minute\r\n", "minute,note\r\n").replace(",0,24,3,5,14,7\r\n", ",0,24,3,5,14,7,\"first\r\nsecond\n\r\n, \"\"third\"\"\"\r\n")
                          .replace(",1,24,3,5,14,7\r\n", ",1,24,3,5,14,7,\"\r\n\"\r\n"));
        QTest::newRow("blank line between records") << QByteArray(QByteArray(ours).replace("\r\n", "\r\n\r\n"));
        QTest::newRow("CR CR LF lines") << QByteArray(QByteArray(ours).replace("\r\n", "\r\r\n"));
        QTest::newRow("CR lines") << QByteArray(QByteArray(ours).replace("\r\n", "\r"));
        QTest::newRow("blank lines before the header") << QByteArray("\xEF\xBB\xBF" + QByteArray("\r\n").repeated(5000) + ours);
        QTest::newRow("blanks and emptied rows") << QByteArray(QByteArray(ours).replace("\r\n", "\r\n  \t \r\n,,,,,,,,,,,,,\r\n"));
    }
    void spreadsheet_variants() {
        QFETCH(QByteArray, bytes);
        const std::vector<FileRecord> want{rec(1, 123, 0x41, 0, {24, 3, 5, 14, 7}), rec(2, 4000, 0x42, 1, {24, 3, 5, 14, 7})};
        QCOMPARE(read_ok(bytes), want);
    }

    // Catches a semicolon file refused with a reason that hides why its columns do not fit, or a
    // comma file's reason that talks of semicolons.
    void separator_named_when_columns_do_not_fit_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("semicolons");
        const QByteArray header = "record;time;current_a;shown;count;range_code;mark;year;month;day;hour;minute\r\n";
        QTest::newRow("semicolon header with a column missing")
            << QByteArray("record;time;current_a;shown;count;range_code;mark;year;month;day;hour\r\n") << 1 << int(CsvError::BadHeader) << true;
        QTest::newRow("semicolon header with another name")
            << QByteArray("Nr;Zeit;Strom\r\n1;2;3\r\n") << 1 << int(CsvError::BadHeader) << true;
        QTest::newRow("short semicolon line") << QByteArray(header + "1;;;;5;65;0;24;1;1;0;0\r\n2;;;;5;65\r\n") << 3 << int(CsvError::MissingFields) << true;
        QTest::newRow("comma line in a semicolon file") << QByteArray(header + "1,,,,5,65,0,24,1,1,0,0\r\n") << 2 << int(CsvError::MissingFields) << true;
        QTest::newRow("decimal comma in the count") << QByteArray(header + "1;;;;5,0;65;0;24;1;1;0;0\r\n") << 2 << int(CsvError::BadCount) << true;
        QTest::newRow("comma header with another name") << QByteArray("No,Value;x\r\n") << 1 << int(CsvError::BadHeader) << false;
        QTest::newRow("short comma line") << QByteArray(kHeader + "2,,,,5;65\r\n") << 2 << int(CsvError::MissingFields) << false;
    }
    void separator_named_when_columns_do_not_fit() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(int, error);
        QFETCH(bool, semicolons);
        const auto result = read_records_csv(bytes);
        QVERIFY(std::holds_alternative<CsvRefusal>(result));
        const CsvRefusal refusal = std::get<CsvRefusal>(result);
        QCOMPARE(int(refusal.error), error);
        QCOMPARE(refusal.line, line);
        QCOMPARE(refusal.separator, semicolons ? ';' : ',');
        const QString text = csv_refusal_text(refusal);
        const bool columns = refusal.error == CsvError::BadHeader || refusal.error == CsvError::MissingFields;
        QCOMPARE(text.contains(QStringLiteral("semicolons")), semicolons && columns);
    }

    // Catches records dropped without a word: a full download's file with blank lines between its
    // records, CR CR LF lines or blank lines in front opens whole, every record in its place.
    void blank_lines_never_cost_records_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("blank line between records") << QByteArray("\r\n") << QByteArray("\r\n\r\n");
        QTest::newRow("CR CR LF") << QByteArray("\r\n") << QByteArray("\r\r\n");
        QTest::newRow("blank CR CR LF lines between") << QByteArray("\r\n") << QByteArray("\r\r\n\r\r\n");
        QTest::newRow("LF and a line of separators") << QByteArray("\r\n") << QByteArray("\n,,,,,,,,,,,,\n");
    }
    void blank_lines_never_cost_records() {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        for (const int total : {kMaxFileRecords}) {
            const std::vector<FileRecord> records = varied_records(total);
            QByteArray bytes = records_csv(records);
            bytes.replace(from, to);
            QCOMPARE(read_ok(QByteArray(to).repeated(5000) + bytes), records);
        }
    }

    // Catches locale-dependent digits, dates or decimal separators in a file meant for every machine.
    void same_bytes_in_every_locale() {
        const std::vector<FileRecord> records = varied_records(132);
        const QByteArray reference = records_csv(records);
        const QLocale saved;
        for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            QLocale::setDefault(locale);
            if (records_csv(records) != reference) {
                QLocale::setDefault(saved);
                QFAIL(qPrintable(locale.name()));
            }
        }
        QLocale::setDefault(saved);
    }

    // Catches a header-only file (an export of an empty store) being refused or leaving old records.
    void header_only_is_empty_store() {
        RecordStore store;
        load_records(store, varied_records(30));
        const auto read = read_records_csv(records_csv(RecordStore{}));
        QVERIFY(std::holds_alternative<std::vector<FileRecord>>(read));
        load_records(store, std::get<std::vector<FileRecord>>(read));
        QCOMPARE(store.ji_ge, 1);
        QCOMPARE(store.last_occupied(), -1);
    }
};

QTEST_APPLESS_MAIN(TstRecordsCsv)
#include "tst_records_csv.moc"
