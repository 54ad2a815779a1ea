// Recordings read into the column store: line parsing, the pyramid's sums, runs, and bad and odd files.
#include "support/recording_fixture.h"
#include "trend/recording_file.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <charconv>
#include <cmath>
#include <sys/stat.h>

using namespace tessaro;
using namespace tessaro::trend;

class TestTrendRecording : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    void isoTimes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint64>("expected"); // -1: refused
        const auto at = [](const char* iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch(); };
        QTest::newRow("log") << QByteArray("2026-12-10T17:05:03.120+01:00") << at("2026-12-10T17:05:03.120+01:00");
        QTest::newRow("summer") << QByteArray("2026-07-01T00:00:00.000+02:00") << at("2026-06-30T22:00:00.000Z");
        QTest::newRow("zulu") << QByteArray("2026-12-10T17:05:03Z") << at("2026-12-10T17:05:03Z");
        QTest::newRow("west, half hour") << QByteArray("2026-12-10T17:05:03.5-03:30") << at("2026-12-10T20:35:03.500Z");
        QTest::newRow("blank, micros") << QByteArray("2026-12-10 17:05:03.123456+00:00") << at("2026-12-10T17:05:03.123Z");
        QTest::newRow("leap day") << QByteArray("2028-02-29T00:00:00.000+00:00") << at("2028-02-29T00:00:00Z");
        QTest::newRow("no leap day") << QByteArray("2026-02-29T00:00:00.000+00:00") << qint64(-1);
        QTest::newRow("month 13") << QByteArray("2026-13-01T00:00:00.000+00:00") << qint64(-1);
        QTest::newRow("hour 24") << QByteArray("2026-12-10T24:00:00.000+00:00") << qint64(-1);
        QTest::newRow("no offset") << QByteArray("2026-12-10T17:05:03.120") << qint64(-1);
        QTest::newRow("cut") << QByteArray("2026-12-10T17:05:03.120+01:0") << qint64(-1);
        QTest::newRow("tail") << QByteArray("2026-12-10T17:05:03.120+01:00x") << qint64(-1);
        QTest::newRow("empty fraction") << QByteArray("2026-12-10T17:05:03.+01:00") << qint64(-1);
        QTest::newRow("two fraction digits") << QByteArray("2026-12-10T17:05:03.12+01:00") << at("2026-12-10T16:05:03.120Z");
        QTest::newRow("four fraction digits") << QByteArray("2026-12-10T17:05:03.1239+01:00") << at("2026-12-10T16:05:03.123Z");
        QTest::newRow("millis, zulu") << QByteArray("2026-12-10T17:05:03.004Z") << at("2026-12-10T17:05:03.004Z");
        QTest::newRow("letter O for 0") << QByteArray("2026-12-1OT17:05:03.120+01:00") << qint64(-1);
        QTest::newRow("slash below 0") << QByteArray("2/26-12-10T17:05:03.120+01:00") << qint64(-1);
        QTest::newRow("colon above 9") << QByteArray("2026-12-10T1::05:03.120+01:00") << qint64(-1);
        QTest::newRow("UTF-8 in the year") << QByteArray("20\xC3\xA9-12-10T17:05:03.120+01:00") << qint64(-1);
        QTest::newRow("slashes") << QByteArray("2026/12/10T17:05:03.120+01:00") << qint64(-1);
        QTest::newRow("minute 60") << QByteArray("2026-12-10T17:60:03.120+01:00") << qint64(-1);
        QTest::newRow("second digit") << QByteArray("2026-12-10T17:05:0x.120+01:00") << qint64(-1);
    }
    void isoTimes() {
        // Catches a hand parser that drifts from the calendar, ignores the offset or takes a bad time.
        QFETCH(QByteArray, text);
        QFETCH(qint64, expected);
        const auto t = parse_iso_time(std::string_view(text.constData(), static_cast<size_t>(text.size())));
        if (expected < 0) {
            QVERIFY(!t);
        } else {
            QVERIFY(t);
            QCOMPARE(*t, expected);
        }
    }

    void logLines_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("low");
        QTest::addColumn<int>("alarm");
        QTest::addColumn<int>("flags");
        QTest::addColumn<double>("amperes");
        QTest::newRow("mA") << 123 << 65 << false << int(AlarmState::NotLocked) << 0 << 0.0123;
        QTest::newRow("A, low, alarm") << 1234 << 49 << true << int(AlarmState::Alarm) << int(kLowBattery | kAlarm) << 123.4;
        QTest::newRow("normal") << 5 << 66 << false << int(AlarmState::Normal) << int(kNormal) << 0.00005;
        QTest::newRow("OL") << 4000 << 65 << false << int(AlarmState::Normal) << int(kOverload | kNoValue | kNormal) << 0.0;
        QTest::newRow("no factor") << 12 << 70 << false << int(AlarmState::NotLocked) << int(kNoValue) << 0.0;
    }
    void logLines() {
        // Catches a parser that misreads a line the program's own live log writes.
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(bool, low);
        QFETCH(int, alarm);
        QFETCH(int, flags);
        QFETCH(double, amperes);
        LiveLogReading r;
        r.time = QDateTime(QDate(2026, 12, 10), QTime(17, 5, 3, 120), QTimeZone("Europe/Berlin"));
        r.count = count;
        r.range = static_cast<uint8_t>(range);
        r.low_batt = low;
        r.alarm = static_cast<AlarmState>(alarm);
        const QByteArray line = live_log_line(r).chopped(2);
        const auto got = parse_csv_line(std::string_view(line.constData(), static_cast<size_t>(line.size())));
        QVERIFY2(got, line.constData());
        QCOMPARE(got->time_ms, r.time.toMSecsSinceEpoch());
        QCOMPARE(int(got->flags), flags);
        if (!(flags & kNoValue)) QCOMPARE(got->amperes, float(amperes));
    }

    void timesOfOneHourReadInTurn() {
        // Catches the hour and zone kept from the time before being applied to a time that differs
        // from it (another zone, hour or form, a bad minute or second) or a good time read wrongly.
        const QList<QByteArray> times = {
            "2026-12-10T17:05:03.120+01:00", "2026-12-10T17:59:60.999+01:00", "2026-12-10T17:60:00.000+01:00",
            "2026-12-10T17:05:6x.120+01:00", "2026-12-10T17:05:03.120+02:00", "2026-12-10T17:05:03.120-01:00",
            "2026-12-10T17:05:03.120Z",      "2026-12-10T17:06:00.001Z",      "2026-12-10T17:05:03.12Z",
            "2026-12-10T17:05:03.1200Z",     "2026-12-10T17:05:03.120+01:00x", "2026-12-10 17:05:03.120+01:00",
            "2026-12-10T18:05:03.120+01:00", "2026-12-11T17:05:03.120+01:00", "2026-12-10T17:05:03,120+01:00",
            "2026-12-10T17:05:03.1a0+01:00", "2026-12-10T17:05:03.120+01:0",  "2026-12-10T17:05:03.120+01:001",
        };
        for (const bool backwards : {false, true}) {
            TimeCache cache;
            for (int k = 0; k < times.size(); ++k) {
                const QByteArray& text = times[backwards ? times.size() - 1 - k : k];
                const std::string_view view(text.constData(), static_cast<size_t>(text.size()));
                for (int again = 0; again < 2; ++again)
                    QVERIFY2(parse_iso_time(view, &cache) == parse_iso_time(view), text.constData());
            }
        }
    }

    void currentNumbers_data() {
        QTest::addColumn<QByteArray>("number");
        QTest::newRow("log") << QByteArray("0.0123");
        QTest::newRow("negative") << QByteArray("-12.5");
        QTest::newRow("whole") << QByteArray("400");
        QTest::newRow("minus zero") << QByteArray("-0.000");
        QTest::newRow("tie to even") << QByteArray("0.1000000000000001");
        QTest::newRow("15 digits") << QByteArray("123456789.012345");
        QTest::newRow("16 digits") << QByteArray("1234567890.123456");
        QTest::newRow("leading zeros") << QByteArray("00000000000000000000000001.5");
        QTest::newRow("exponent") << QByteArray("1e-05");
        QTest::newRow("trailing dot") << QByteArray("1.");
        QTest::newRow("leading dot") << QByteArray(".5");
        QTest::newRow("plus") << QByteArray("+1");
        QTest::newRow("two dots") << QByteArray("1.2.3");
        QTest::newRow("minus only") << QByteArray("-");
        QTest::newRow("letter") << QByteArray("0.12a");
        QTest::newRow("inf") << QByteArray("inf");
        QTest::newRow("huge") << QByteArray("1e999");
    }
    void currentNumbers() {
        // Catches the quick reading of plain decimals giving another value than the full number
        // parser, or taking a number that it refuses.
        QFETCH(QByteArray, number);
        const QByteArray line = "2026-12-10T17:05:03.120+01:00," + number + ",x,0,0,normal";
        double v = 0;
        const auto [end, ec] = std::from_chars(number.constData(), number.constData() + number.size(), v);
        const bool valid = ec == std::errc() && end == number.constData() + number.size() && std::isfinite(v);
        const auto got = parse_csv_line(std::string_view(line.constData(), static_cast<size_t>(line.size())));
        QCOMPARE(bool(got), valid);
        if (valid) // the very same bits (QCOMPARE on floats would allow a little difference)
            QCOMPARE(std::bit_cast<uint32_t>(got->amperes), std::bit_cast<uint32_t>(static_cast<float>(v)));
    }

    void badLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("cut in the time") << QByteArray("2026-12-10T17:05:03.1");
        QTest::newRow("cut in the alarm") << QByteArray("2026-12-10T17:05:03.120+01:00,0.0123,12.3mA,0,0,norm");
        QTest::newRow("words") << QByteArray("hello,world");
        QTest::newRow("bad number") << QByteArray("2026-12-10T17:05:03.120+01:00,1.2.3,x,0,0,normal");
        QTest::newRow("nan") << QByteArray("2026-12-10T17:05:03.120+01:00,nan,x,0,0,normal");
        QTest::newRow("flag 2") << QByteArray("2026-12-10T17:05:03.120+01:00,0.1,x,2,0,normal");
        QTest::newRow("open quote") << QByteArray("2026-12-10T17:05:03.120+01:00,0.1,\"x,0,0,normal");
        QTest::newRow("header") << QByteArray("time,current_a,shown,overload,low_battery,alarm");
    }
    void badLines() {
        // Catches a line that is no reading being taken as one.
        QFETCH(QByteArray, line);
        QVERIFY(!parse_csv_line(std::string_view(line.constData(), static_cast<size_t>(line.size()))));
    }

    void jsonLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("flags"); // -1: no reading
        QTest::addColumn<double>("amperes");
        QTest::newRow("monitor") << QByteArray(R"({"time":"2026-12-10T17:05:03.120+01:00","current_a":0.0123,"shown":"12.3mA","overload":false,"low_battery":true,"count":123,"range_code":65})")
                                 << int(kLowBattery) << 0.0123;
        QTest::newRow("exponent") << QByteArray(R"({"time":"2026-12-10T17:05:03.120+01:00","current_a":1e-05,"overload":false,"low_battery":false})")
                                  << 0 << 0.00001;
        QTest::newRow("OL, blanks") << QByteArray(R"( { "time" : "2026-12-10T17:05:03.120+01:00" , "current_a" : null, "overload": true, "alarm": "alarm" } )")
                                    << int(kOverload | kNoValue | kAlarm) << 0.0;
        QTest::newRow("no time") << QByteArray(R"({"current_a":0.1})") << -1 << 0.0;
        QTest::newRow("nested") << QByteArray(R"({"time":"2026-12-10T17:05:03.120+01:00","current_a":{"v":1}})") << -1 << 0.0;
        QTest::newRow("cut") << QByteArray(R"({"time":"2026-12-10T17:05:03.120+01:00","current_a":0.1)") << -1 << 0.0;
        QTest::newRow("string current") << QByteArray(R"({"time":"2026-12-10T17:05:03.120+01:00","current_a":"0.1"})") << -1 << 0.0;
    }
    void jsonLines() {
        // Catches a JSON-lines reader that misses a field monitor writes or takes a broken line.
        QFETCH(QByteArray, line);
        QFETCH(int, flags);
        QFETCH(double, amperes);
        const auto got = parse_json_line(std::string_view(line.constData(), static_cast<size_t>(line.size())));
        if (flags < 0) {
            QVERIFY(!got);
            return;
        }
        QVERIFY(got);
        QCOMPARE(int(got->flags), flags);
        if (!(flags & kNoValue)) QCOMPARE(got->amperes, float(amperes));
    }

    void pyramidSumsEqualDirectSums() {
        // Catches a pyramid block summed wrongly or a span that misses or doubles readings.
        Recording rec;
        QRandomGenerator rng(7);
        const int n = 70000;
        int64_t t = 1'700'000'000'000;
        for (int i = 0; i < n; ++i) {
            t += rng.bounded(2) ? 500 : rng.bounded(20000); // some gaps
            uint8_t f = rng.bounded(10) == 0 ? uint8_t(kOverload | kNoValue) : 0;
            f |= rng.bounded(3) == 0 ? kAlarm : kNormal;
            if (rng.bounded(50) == 0) f |= kLowBattery;
            rec.append(t, float(rng.bounded(100000)) / 1000.0f, f);
            if (i % 9999 == 0) rec.update(); // grown in pieces, as a followed file is
        }
        rec.update();
        for (int k = 0; k < 200; ++k) {
            size_t a = rng.bounded(n), b = rng.bounded(n + 1);
            if (a > b) std::swap(a, b);
            Summary direct;
            for (size_t i = a; i < b; ++i) {
                Summary one;
                one.count = 1;
                one.flags = rec.flags(i);
                if (!(one.flags & kNoValue)) {
                    one.valued = 1;
                    one.min = one.max = rec.value(i);
                    one.sum = rec.value(i);
                }
                if (one.flags & kAlarm) one.alarm_ms = rec.duration(i);
                direct.add(one);
            }
            const Summary s = rec.summarize(a, b);
            QCOMPARE(s.count, direct.count);
            QCOMPARE(s.valued, direct.valued);
            QCOMPARE(s.min, direct.min);
            QCOMPARE(s.max, direct.max);
            QCOMPARE(s.alarm_ms, direct.alarm_ms);
            QCOMPARE(s.flags, direct.flags);
            QVERIFY(std::abs(s.sum - direct.sum) <= 1e-6 * std::max(1.0, std::abs(direct.sum)));
        }
    }

    void runsExpectedIntervalAndDurations() {
        // Catches time going backwards breaking the search, and a wrong gap or alarm duration.
        Recording rec;
        for (int64_t t : {1000, 1500, 2000, 2500, 3000, 1200, 1700, 9000}) rec.append(t, 0.01f, kAlarm);
        rec.update();
        QCOMPARE(rec.runs(), size_t(2));
        QCOMPARE(rec.run_first(1), size_t(5));
        QVERIFY(rec.flags(5) & kBackwards);
        QVERIFY(!(rec.flags(6) & kBackwards));
        QCOMPARE(rec.lower_bound(1, 1600), size_t(6));
        QCOMPARE(rec.expected_interval_ms(), int64_t(500));
        QCOMPARE(rec.duration(0), int64_t(500));
        QCOMPARE(rec.duration(4), int64_t(500)); // the next one is earlier: one interval
        QCOMPARE(rec.duration(6), int64_t(500)); // 7300 ms to the next is a gap
        QCOMPARE(rec.duration(7), int64_t(500)); // the last one
        QCOMPARE(rec.summarize(0, rec.size()).alarm_ms, int64_t(8 * 500));
    }

    void daylightSavingChangeInsideTheLog() {
        // Catches the autumn hour that repeats on the wall clock read as time going backwards.
        const QTimeZone berlin("Europe/Berlin");
        const QDateTime start(QDate(2026, 10, 25), QTime(1, 30), berlin);
        const auto readings = test::steady_readings(start, 3 * 3600, 1000, [](int) { return 500; });
        const QByteArray bytes = test::live_log_bytes(readings);
        QVERIFY(bytes.contains("T02:30:00.000+02:00") && bytes.contains("T02:30:00.000+01:00"));
        const QString p = path("autumn.csv");
        QVERIFY(test::write_bytes(p, bytes));
        RecordingFile file;
        QVERIFY(!file.open(p));
        QCOMPARE(file.read_all(), RecordingFile::Step::AtEnd);
        QCOMPARE(file.recording().size(), readings.size());
        QCOMPARE(file.recording().runs(), size_t(1));
        QCOMPARE(file.recording().latest() - file.recording().earliest(), qint64(3 * 3600 - 1) * 1000);
        QCOMPARE(file.notes(), QString());
    }

    void badFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("reason");  // part of the refusal or of the notes
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("skipped");
        const auto three = test::steady_readings(test::fixture_start(), 3, 500, [](int i) { return 100 + i; });
        const QByteArray log = test::live_log_bytes(three);
        QTest::newRow("empty") << QByteArray() << false << QString() << 0 << 0;
        QTest::newRow("header only") << test::live_log_bytes({}) << false << QString() << 0 << 0;
        QTest::newRow("whole") << log << false << QString() << 3 << 0;
        QTest::newRow("LF lines, BOM") << QByteArray("\xEF\xBB\xBF") + QByteArray(log).replace("\r\n", "\n") << false << QString() << 3 << 0;
        QTest::newRow("truncated last line") << log + log.mid(log.indexOf('\n') + 1, 20) << false
                                             << QStringLiteral("The last line is unfinished (20 bytes)") << 3 << 0;
        QTest::newRow("lines no readings") << QByteArray(log).insert(log.indexOf('\n') + 1, "garbage\r\n\r\n2026,1\r\n") << false
                                           << QStringLiteral("2 lines are no readings and were skipped (the first is line 2)") << 3 << 2;
        QTest::newRow("long line") << log + QByteArray(100000, 'x') + "\r\n" + log.mid(log.indexOf('\n') + 1) << false
                                   << QStringLiteral("Line 5 is no reading") << 6 << 1;
        QTest::newRow("backwards") << log + log.mid(log.indexOf('\n') + 1) << false
                                   << QStringLiteral("The time goes backwards once") << 6 << 0;
        QTest::newRow("other CSV") << QByteArray("date,value\n2026-01-01,3\n") << true
                                   << QStringLiteral("Line 1 is \"date,value\"") << 0 << 0;
        QTest::newRow("records file") << QByteArray("record,time,current_a,shown,count\r\n") << true
                                      << QStringLiteral("this is a records file") << 0 << 0;
        QTest::newRow("binary") << QByteArray("\x7f" "ELF\0\0\0\n", 8) << true << QStringLiteral("not a text file") << 0 << 0;
        QTest::newRow("broken JSON first line") << QByteArray("{\"time\":\"x\"}\n") << true
                                                << QStringLiteral("Line 1 is \"{\"time\":\"x\"}\"") << 0 << 0;
    }
    void badFiles() {
        // Catches a bad or odd file that crashes, hangs, loses good readings or is refused without a reason.
        QFETCH(QByteArray, bytes);
        QFETCH(bool, refused);
        QFETCH(QString, reason);
        QFETCH(int, readings);
        QFETCH(int, skipped);
        const QString p = path("odd.csv");
        QVERIFY(test::write_bytes(p, bytes));
        RecordingFile file;
        QVERIFY(!file.open(p));
        const auto step = file.read_all();
        QCOMPARE(step == RecordingFile::Step::Refused, refused);
        if (refused) {
            QVERIFY2(file.refusal().contains(reason), qPrintable(file.refusal()));
            return;
        }
        QCOMPARE(file.recording().size(), size_t(readings));
        QCOMPARE(file.skipped_lines(), qint64(skipped));
        if (reason.isEmpty())
            QCOMPARE(file.notes(), QString());
        else
            QVERIFY2(file.notes().contains(reason), qPrintable(file.notes()));
    }

    void onlyRegularFilesAreRead_data() {
        QTest::addColumn<QString>("which");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("device") << QStringLiteral("/dev/null");
        QTest::newRow("folder") << dir_.path();
    }
    void onlyRegularFilesAreRead() {
        // Catches a pipe with no writer that blocks the program, or a device read as a recording.
        QFETCH(QString, which);
        QString p = which;
        if (which == QLatin1String("fifo")) {
            p = path("fifo");
            QVERIFY(::mkfifo(QFile::encodeName(p).constData(), 0600) == 0);
        }
        RecordingFile file;
        const auto why = file.open(p);
        QVERIFY(why);
        QVERIFY2(why->contains(QLatin1String("not a regular file")) || why->contains(QLatin1String("folder")), qPrintable(*why));
        QVERIFY(!file.is_open());
    }

    void tooLargeForTheMemoryIsRefused() {
        // Catches a huge file taking memory without bound instead of a clear refusal.
        const auto many = test::steady_readings(test::fixture_start(), 200000, 500, [](int i) { return i % 1000; });
        const QString p = path("large.csv");
        QVERIFY(test::write_bytes(p, test::live_log_bytes(many)));
        RecordingFile early;
        const auto why = early.open(p, 64 * 1024); // not even the least estimate fits
        QVERIFY(why && why->contains(QLatin1String("too large")));
        RecordingFile late;
        QVERIFY(!late.open(p, 4 << 20)); // fits the estimate, not the readings
        QCOMPARE(late.read_all(), RecordingFile::Step::Refused);
        QVERIFY2(late.refusal().contains(QLatin1String("too large")), qPrintable(late.refusal()));
        QVERIFY(late.recording().memory_bytes() < (8 << 20)); // stopped at the first block over the budget
        RecordingFile enough;
        QVERIFY(!enough.open(p, 64 << 20));
        QCOMPARE(enough.read_all(), RecordingFile::Step::AtEnd);
        QCOMPARE(enough.recording().size(), size_t(200000));
    }

    void growingFileIsFollowed() {
        // Catches readings added to a followed file being missed, doubled, or an unfinished line taken early.
        const auto all = test::steady_readings(test::fixture_start(), 10, 500, [](int i) { return 100 + i; });
        const QByteArray bytes = test::live_log_bytes(all);
        const QString p = path("growing.csv");
        const qsizetype cut = bytes.indexOf("\r\n", bytes.size() / 2) + 12; // inside a line
        QVERIFY(test::write_bytes(p, bytes.left(cut)));
        RecordingFile file;
        QVERIFY(!file.open(p));
        QCOMPARE(file.read_all(), RecordingFile::Step::AtEnd);
        const size_t before = file.recording().size();
        QVERIFY(file.unfinished_bytes() > 0);
        QVERIFY(!file.grew());
        QVERIFY(test::write_bytes(p, bytes.mid(cut), QIODevice::Append));
        QVERIFY(file.grew());
        QCOMPARE(file.read_all(), RecordingFile::Step::AtEnd);
        QCOMPARE(file.recording().size(), size_t(10));
        QVERIFY(before < 10);
        QCOMPARE(file.recording().time(9), all[9].time.toMSecsSinceEpoch());
        QCOMPARE(file.notes(), QString());
        // Cut shorter (rewritten by someone): noted, never read as new readings.
        QVERIFY(test::write_bytes(p, bytes.left(100)));
        QVERIFY(!file.grew());
        QVERIFY(file.shrank());
        QVERIFY(file.notes().contains(QLatin1String("got shorter")));
        QCOMPARE(file.recording().size(), size_t(10));
    }

    void exportedRangeIsTheLogsOwnLines_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("live log") << false;
        QTest::newRow("JSON lines") << true;
    }
    void exportedRangeIsTheLogsOwnLines() {
        // Catches an export that drops, adds or alters readings of the span, or misses those after a step back.
        auto readings = test::steady_readings(test::fixture_start(), 500, 500, [](int i) { return i % 7 == 0 ? 4000 : 100 + i; });
        for (int i = 0; i < 500; i += 11) readings[size_t(i)].low_batt = true;
        for (int i = 0; i < 500; i += 5) readings[size_t(i)].alarm = i % 2 ? AlarmState::Alarm : AlarmState::Normal;
        readings.push_back(readings[200]); // the time goes back to reading 200
        QFETCH(bool, json);
        QByteArray bytes;
        if (json) {
            // As tessaro-cli monitor --json writes them (with the alarm key).
            for (const LiveLogReading& r : readings) {
                const QString a = live_amperes(r.count, r.range);
                const char* alarm = r.alarm == AlarmState::Alarm ? "alarm" : r.alarm == AlarmState::Normal ? "normal" : "not locked";
                bytes += QStringLiteral("{\"time\":\"%1\",\"current_a\":%2,\"shown\":\"x\",\"overload\":%3,\"low_battery\":%4,\"alarm\":\"%5\"}\n")
                             .arg(iso_time_ms(r.time), a.isEmpty() ? QStringLiteral("null") : a,
                                  live_overload(r.count, r.range) ? QStringLiteral("true") : QStringLiteral("false"),
                                  r.low_batt ? QStringLiteral("true") : QStringLiteral("false"), QLatin1String(alarm))
                             .toUtf8();
            }
        } else {
            bytes = test::live_log_bytes(readings);
        }
        const QString p = path("export.src");
        QVERIFY(test::write_bytes(p, bytes));
        RecordingFile file;
        QVERIFY(!file.open(p));
        QCOMPARE(file.read_all(), RecordingFile::Step::AtEnd);
        const int64_t t0 = readings[150].time.toMSecsSinceEpoch(), t1 = readings[300].time.toMSecsSinceEpoch();
        QByteArray out;
        QVERIFY(!file.export_csv(t0, t1, out));
        // In file order: 150..300, then the repeated reading 200 after the step back.
        QByteArray expected = live_log_header();
        auto add = [&](const LiveLogReading& r) { expected += json ? rewritten(live_log_line(r)) : live_log_line(r); };
        for (int i = 150; i <= 300; ++i) add(readings[size_t(i)]);
        add(readings[200]);
        QCOMPARE(out, expected);
    }

private:
    // A live-log line with its shown text replaced by the JSON fixture's "x".
    static QByteArray rewritten(QByteArray line) {
        QList<QByteArray> f = line.chopped(2).split(',');
        f[2] = "x";
        return f.join(',') + "\r\n";
    }
};

QTEST_GUILESS_MAIN(TestTrendRecording)
#include "tst_trend_recording.moc"
