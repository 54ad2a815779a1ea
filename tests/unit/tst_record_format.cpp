// The record formatter: value texts per range code, record numbers, dates and times, whole lines.
#include "records/record_format.h"
#include "records/record_store.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace tessaro;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kDe(QLocale::German, QLocale::Germany);
const QLocale kGb(QLocale::English, QLocale::UnitedKingdom);
const QLocale kCn(QLocale::Chinese, QLocale::China);

struct Fields {
    int year = 24, month = 1, day = 5, hour = 15, minute = 4;
};

void put(RecordStore& st, int slot, float no, uint8_t range, float count, bool mark, Fields f = {}) {
    const auto s = static_cast<size_t>(slot);
    st.rec_no[s] = no;
    st.rec_range[s] = range;
    st.rec_value[s] = count;
    st.rec_mark[s] = mark ? 1 : 0;
    const int16_t t[5] = {int16_t(f.year), int16_t(f.month), int16_t(f.day), int16_t(f.hour), int16_t(f.minute)};
    for (size_t k = 0; k < 5; ++k) st.rec_time[5 * s + k] = t[k];
}

// "1/5/24  3:04:00 PM" in the US locale for the default fields.
const QString kUsTime = QStringLiteral("1/5/24  3:04:00 PM");
const QString kMark = QStringLiteral("       \u25A0 ");

} // namespace

class TstRecordFormat : public QObject {
    Q_OBJECT

    RecordStore* store = nullptr;

private slots:
    void init() { store = new RecordStore; }
    void cleanup() { delete store; }

    void valueText_data();
    void valueText();
    void recordNumber_data();
    void recordNumber();
    void timeFormatWithoutZone_data();
    void timeFormatWithoutZone();
    void timeTextInEveryLocale_data();
    void timeTextInEveryLocale();
    void dateTime_data();
    void dateTime();
    void line_data();
    void line();
    void slotsOutsideTheStoreAreBlank();
    void formatRecordSetsRecText();
    void corruptSlotStillGivesALine();
};

void TstRecordFormat::valueText_data() {
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("unit");

    QTest::newRow("0x30 zero") << 0x30 << 0 << "0" << "A";
    QTest::newRow("0x30 12") << 0x30 << 12 << "12" << "A";
    QTest::newRow("0x30 max") << 0x30 << 32767 << "32767" << "A";
    QTest::newRow("0x31 zero") << 0x31 << 0 << "0.0" << "A";
    QTest::newRow("0x31 7") << 0x31 << 7 << "0.7" << "A";
    QTest::newRow("0x31 120") << 0x31 << 120 << "12.0" << "A";
    QTest::newRow("0x31 123") << 0x31 << 123 << "12.3" << "A";
    QTest::newRow("0x32 zero") << 0x32 << 0 << "0.00" << "A";
    QTest::newRow("0x32 5") << 0x32 << 5 << "0.05" << "A";
    QTest::newRow("0x32 123") << 0x32 << 123 << "1.23" << "A";
    QTest::newRow("0x32 120") << 0x32 << 120 << "1.20" << "A";
    QTest::newRow("0x32 300") << 0x32 << 300 << "3.00" << "A";
    QTest::newRow("0x33 zero") << 0x33 << 0 << "0" << "A";
    QTest::newRow("0x33 1") << 0x33 << 1 << "0.001" << "A";
    QTest::newRow("0x33 250") << 0x33 << 250 << "0.25" << "A";
    QTest::newRow("0x33 1500") << 0x33 << 1500 << "1.5" << "A";
    QTest::newRow("0x33 2000") << 0x33 << 2000 << "2" << "A";
    QTest::newRow("0x40 zero") << 0x40 << 0 << "0" << "mA";
    QTest::newRow("0x40 800") << 0x40 << 800 << "800" << "mA";
    QTest::newRow("0x41 zero") << 0x41 << 0 << "0.0" << "mA";
    QTest::newRow("0x41 123") << 0x41 << 123 << "12.3" << "mA";
    QTest::newRow("0x41 5") << 0x41 << 5 << "0.5" << "mA";
    QTest::newRow("0x42 zero") << 0x42 << 0 << "0.00" << "mA";
    QTest::newRow("0x42 5") << 0x42 << 5 << "0.05" << "mA";
    QTest::newRow("0x42 10") << 0x42 << 10 << "0.10" << "mA";
    QTest::newRow("0x42 50") << 0x42 << 50 << "0.50" << "mA";
    QTest::newRow("0x42 100") << 0x42 << 100 << "1.00" << "mA";
    QTest::newRow("0x42 4567") << 0x42 << 4567 << "45.67" << "mA";
    QTest::newRow("0x43 zero") << 0x43 << 0 << "0" << "mA";
    QTest::newRow("0x43 999") << 0x43 << 999 << "0.999" << "mA";
    QTest::newRow("0x43 4567") << 0x43 << 4567 << "4.567" << "mA";
    QTest::newRow("unknown 0x34") << 0x34 << 123 << "" << "";
    QTest::newRow("unknown 0x44") << 0x44 << 123 << "" << "";
    QTest::newRow("unknown 0xFF") << 0xFF << 0 << "" << "";
}

void TstRecordFormat::valueText() {
    // Catches a wrong divisor, a missing leading zero or fixed decimals, a float printed
    // with noise digits, or a unit left over for an unknown range code.
    QFETCH(int, range);
    QFETCH(int, count);
    QFETCH(QString, value);
    QFETCH(QString, unit);
    QString u = QStringLiteral("stale");
    QCOMPARE(value_text(count, static_cast<uint8_t>(range), &u), value);
    QCOMPARE(u, unit);
}

void TstRecordFormat::recordNumber_data() {
    QTest::addColumn<float>("no");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1.0f << "0001";
    QTest::newRow("9") << 9.0f << "0009";
    QTest::newRow("10") << 10.0f << "0010";
    QTest::newRow("99") << 99.0f << "0099";
    QTest::newRow("100") << 100.0f << "0100";
    QTest::newRow("999") << 999.0f << "0999";
    QTest::newRow("1000") << 1000.0f << "1000";
    QTest::newRow("4601") << 4601.0f << "4601";
    QTest::newRow("12345") << 12345.0f << "12345";
}

void TstRecordFormat::recordNumber() {
    // Catches wrong padding at the 10 / 100 / 1000 boundaries (off-by-one in the comparisons).
    QFETCH(float, no);
    QFETCH(QString, text);
    put(*store, 0, no, 0x40, 800, false);
    QCOMPARE(format_record_text(*store, 0, kUs), "No" + text + " 800mA   " + kUsTime);
}

void TstRecordFormat::timeFormatWithoutZone_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("format");
    QTest::newRow("en_US zone at the end") << kUs << "h:mm:ss AP";
    QTest::newRow("de_DE zone at the end") << kDe << "HH:mm:ss";
    QTest::newRow("zh_CN zone in front") << kCn << "HH:mm:ss";
    QTest::newRow("es_ES zone in brackets") << QLocale(QLocale::Spanish, QLocale::Spain) << "H:mm:ss";
    QTest::newRow("be_BY zone after a comma") << QLocale(QLocale::Belarusian, QLocale::Belarus) << "HH:mm:ss";
    QTest::newRow("zh_TW period of day, zone in brackets")
        << QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan) << "APh:mm:ss";
}

void TstRecordFormat::timeFormatWithoutZone() {
    // Catches a time-zone name left in the time, or a blank left where it was.
    QFETCH(QLocale, locale);
    QFETCH(QString, format);
    QCOMPARE(time_format_without_zone(locale), format);
}

void TstRecordFormat::timeTextInEveryLocale_data() {
    QTest::addColumn<QLocale>("locale");
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
        QTest::newRow(qPrintable(locale.name() + QLatin1Char(' ') + QLocale::scriptToString(locale.script()))) << locale;
}

void TstRecordFormat::timeTextInEveryLocale() {
    // Catches the brackets or separator of the removed time zone left in the line ("14:07:00 ()",
    // "[]"), or a field letter Qt does not know printed as text (zh_TW's "B").
    QFETCH(QLocale, locale);
    put(*store, 0, 1, 0x41, 123, false);
    store->rec_time[3] = 14;
    store->rec_time[4] = 7;
    const QString line = format_record_text(*store, 0, locale);
    static const QRegularExpression empty_brackets(QStringLiteral("[(\\[{\uFF08\u3010\uFF3B]\\s*[)\\]}\uFF09\u3011\uFF3D]"));
    QVERIFY2(!line.contains(empty_brackets), qPrintable(line));
    QVERIFY2(!line.trimmed().endsWith(QLatin1Char(',')), qPrintable(line));

    const QString date = locale.toString(QDate(2024, 1, 5), locale.dateFormat(QLocale::ShortFormat));
    const qsizetype at = line.indexOf(date + QStringLiteral("  "));
    QVERIFY2(at > 0, qPrintable(line));
    QString time = line.mid(at + date.size() + 2);
    // Letters may come from the AM/PM texts and from the quoted texts of the locale's format.
    for (const QString& allowed : {locale.amText(), locale.pmText()})
        if (!allowed.isEmpty()) time.remove(allowed, Qt::CaseInsensitive); // "AP" writes it in capitals
    const QStringList pieces = locale.timeFormat(QLocale::LongFormat).split(QLatin1Char('\''));
    QStringList quoted;
    for (qsizetype i = 1; i < pieces.size(); i += 2) quoted << pieces[i];
    std::sort(quoted.begin(), quoted.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& text : std::as_const(quoted))
        if (!text.isEmpty()) time.remove(text);
    for (const QChar c : std::as_const(time))
        QVERIFY2(!(c.unicode() < 128 && c.isLetter()), qPrintable(line));

    // Hour, minute and second are all still there, in the locale's own digits.
    QVERIFY2(line.contains(locale.toString(7)), qPrintable(line));
    QVERIFY2(line.contains(locale.toString(0)), qPrintable(line));
    QVERIFY2(line.contains(locale.toString(14)) || line.contains(locale.toString(2)), qPrintable(line));
}

void TstRecordFormat::dateTime_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QString>("text");

    QTest::newRow("us valid") << kUs << 24 << 1 << 5 << 15 << 4 << "1/5/24  3:04:00 PM";
    QTest::newRow("us midnight") << kUs << 24 << 12 << 31 << 0 << 0 << "12/31/24  12:00:00 AM";
    QTest::newRow("de valid") << kDe << 24 << 1 << 5 << 15 << 4 << "05.01.24  15:04:00";
    QTest::newRow("cn valid") << kCn << 24 << 1 << 5 << 9 << 30 << "2024/1/5  09:30:00";
    QTest::newRow("gb year 29 is 2029") << kGb << 29 << 1 << 5 << 15 << 4 << "05/01/2029  15:04:00";
    QTest::newRow("gb year 30 is 1930") << kGb << 30 << 1 << 5 << 15 << 4 << "05/01/1930  15:04:00";
    QTest::newRow("gb year 0 is 2000, leap day") << kGb << 0 << 2 << 29 << 15 << 4 << "29/02/2000  15:04:00";
    QTest::newRow("gb year 99 is 1999") << kGb << 99 << 12 << 31 << 23 << 59 << "31/12/1999  23:59:00";
    QTest::newRow("gb stored year 125") << kGb << 125 << 1 << 5 << 15 << 4 << "05/01/2025  15:04:00";
    QTest::newRow("us month 13") << kUs << 24 << 13 << 5 << 15 << 4 << "13/5/24  3:04:00 PM";
    QTest::newRow("de month 13") << kDe << 24 << 13 << 5 << 15 << 4 << "05.13.24  15:04:00";
    QTest::newRow("us month 0") << kUs << 24 << 0 << 5 << 15 << 4 << "0/5/24  3:04:00 PM";
    QTest::newRow("de day 0") << kDe << 24 << 1 << 0 << 15 << 4 << "00.01.24  15:04:00";
    QTest::newRow("us 31 Feb") << kUs << 24 << 2 << 31 << 15 << 4 << "2/31/24  3:04:00 PM";
    QTest::newRow("gb 29 Feb 2023") << kGb << 23 << 2 << 29 << 15 << 4 << "29/02/2023  15:04:00";
    QTest::newRow("us hour 25") << kUs << 24 << 1 << 5 << 25 << 4 << "1/5/24  25:04:00";
    QTest::newRow("de hour 25") << kDe << 24 << 1 << 5 << 25 << 4 << "05.01.24  25:04:00";
    QTest::newRow("us minute 60") << kUs << 24 << 1 << 5 << 15 << 60 << "1/5/24  3:60:00 PM";
    QTest::newRow("de minute 60") << kDe << 24 << 1 << 5 << 15 << 60 << "05.01.24  15:60:00";
    QTest::newRow("cn hour 25") << kCn << 24 << 1 << 5 << 25 << 4 << "2024/1/5  25:04:00";
    QTest::newRow("de all zero") << kDe << 0 << 0 << 0 << 0 << 0 << "00.00.00  00:00:00";
    QTest::newRow("de all 255") << kDe << 255 << 255 << 255 << 255 << 255 << "255.255.55  255:255:00";
}

void TstRecordFormat::dateTime() {
    // Catches a wrong century window, a time-zone part in the time, and dates or times that
    // do not exist coming out empty or garbled instead of as their stored numbers.
    QFETCH(QLocale, locale);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QString, text);
    QCOMPARE(date_time_text(year, month, day, hour, minute, locale), text);
}

void TstRecordFormat::line_data() {
    QTest::addColumn<int>("range");
    QTest::addColumn<float>("count");
    QTest::addColumn<bool>("mark");
    QTest::addColumn<QString>("line");

    const QString t = kUsTime;
    QTest::newRow("0x41 12.3") << 0x41 << 123.0f << false << "No0007 12.3mA   " + t;
    QTest::newRow("0x42 marked") << 0x42 << 50.0f << true << "No0007 0.50mA   " + t + kMark;
    QTest::newRow("0x30 4000 is OL") << 0x30 << 4000.0f << false << "No0007   OL    " + t;
    QTest::newRow("3700 is a number") << 0x40 << 3700.0f << false << "No0007 3700mA   " + t;
    QTest::newRow("3701 is OL") << 0x40 << 3701.0f << false << "No0007   OL    " + t;
    QTest::newRow("4799 is OL") << 0x42 << 4799.0f << false << "No0007   OL    " + t;
    QTest::newRow("4800 is a number") << 0x42 << 4800.0f << false << "No0007 48.00mA   " + t;
    QTest::newRow("OL with mark") << 0x31 << 4000.0f << true << "No0007   OL    " + t + kMark;
    QTest::newRow("OL whatever the code") << 0x7A << 4000.0f << false << "No0007   OL    " + t;
    QTest::newRow("unknown code") << 0x7A << 123.0f << false << "No0007    " + t;
    QTest::newRow("unknown code marked") << 0x01 << 123.0f << true << "No0007    " + t + kMark;
    QTest::newRow("0x33 zero") << 0x33 << 0.0f << false << "No0007 0A   " + t;
    QTest::newRow("empty slot") << 0x00 << 123.0f << true << "    ";
}

void TstRecordFormat::line() {
    // Catches a wrong OL band (bounds included or excluded wrongly), a missing or misplaced
    // mark, lost separators for an unknown code, or an empty slot that is not blank.
    QFETCH(int, range);
    QFETCH(float, count);
    QFETCH(bool, mark);
    QFETCH(QString, line);
    put(*store, 3, 7, static_cast<uint8_t>(range), count, mark);
    QCOMPARE(format_record_text(*store, 3, kUs), line);
}

void TstRecordFormat::slotsOutsideTheStoreAreBlank() {
    // Catches an index past the arrays for slots below 0 or above 8000.
    put(*store, 8000, 8001, 0x40, 12, false);
    QCOMPARE(format_record_text(*store, 8000, kDe), QStringLiteral("No8001 12mA   05.01.24  15:04:00"));
    QCOMPARE(format_record_text(*store, 8001, kDe), QStringLiteral("    "));
    QCOMPARE(format_record_text(*store, -1, kDe), QStringLiteral("    "));
    QCOMPARE(format_record_text(*store, std::numeric_limits<int>::max(), kDe), QStringLiteral("    "));
}

void TstRecordFormat::formatRecordSetsRecText() {
    // Catches the wrong slot for a page and row (slot = page * 26 + row) or a page past the
    // store indexing outside the arrays.
    put(*store, 2 * 26 + 5, 58, 0x40, 800, false);
    format_record(*store, 2, 5, kDe);
    QCOMPARE(store->rec_text, QStringLiteral("No0058 800mA   05.01.24  15:04:00"));
    format_record(*store, 2, 6, kDe);
    QCOMPARE(store->rec_text, QStringLiteral("    "));
    format_record(*store, 307, 25, kDe);
    QCOMPARE(store->rec_text, QStringLiteral("    "));
    format_record(*store, -1, 0, kDe);
    QCOMPARE(store->rec_text, QStringLiteral("    "));
}

void TstRecordFormat::corruptSlotStillGivesALine() {
    // Catches undefined conversions (NaN or huge floats, negative fields) crashing or
    // producing an empty line for a slot whose contents make no sense.
    put(*store, 0, std::numeric_limits<float>::quiet_NaN(), 0x42, std::numeric_limits<float>::quiet_NaN(), true,
        {-1, -1, -1, -1, -1});
    put(*store, 1, -5, 0x30, 1e30f, false, {32767, -32768, 300, 99, 99});
    put(*store, 2, 1e30f, 0x43, -std::numeric_limits<float>::infinity(), false);
    for (int s = 0; s < 3; ++s) {
        for (const QLocale& l : {kUs, kDe, kGb, kCn}) {
            const QString line = format_record_text(*store, s, l);
            QVERIFY2(line.startsWith(QStringLiteral("No")), qPrintable(line));
            QVERIFY2(line.size() > 20, qPrintable(line));
        }
    }
}

QTEST_APPLESS_MAIN(TstRecordFormat)
#include "tst_record_format.moc"
