// The live log: its line format, appending and continuing a log, write failures, a kill mid-run.
#include "link/live_log.h"
#include "support/odd_files.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessaro;

namespace {

// The shape of every line the log may hold after its header.
const QRegularExpression kLine(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d,"
                                              "(\\d+(\\.\\d+)?)?,[^,\"\\r\\n]*,[01],[01],(alarm|normal|not locked)\\r$"));

QByteArray read_all(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Every line after the header has the log's shape; the count of such lines.
int whole_lines(const QByteArray& bytes) {
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || lines.first() + '\n' != live_log_header()) return -1;
    if (!lines.last().isEmpty()) return -1; // a cut line at the end
    int n = 0;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        if (!kLine.match(QString::fromUtf8(lines[i])).hasMatch()) return -1;
        ++n;
    }
    return n;
}

LiveLogReading reading(int count, uint8_t range) {
    LiveLogReading r;
    r.time = QDateTime(QDate(2026, 12, 10), QTime(17, 5, 3, 120), QTimeZone(3600));
    r.count = count;
    r.range = range;
    return r;
}

} // namespace

class TstLiveLog : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    // Catches inexact amperes, a wrong overload flag, a lost offset or millisecond, unquoted texts.
    void line_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("low");
        QTest::addColumn<int>("alarm");
        QTest::addColumn<QByteArray>("line");
        const QByteArray t = "2026-12-10T17:05:03.120+01:00,";
        QTest::newRow("12.3 mA") << 123 << 65 << false << int(AlarmState::NotLocked) << QByteArray(t + "0.0123,12.3mA,0,0,not locked\r\n");
        QTest::newRow("0.05 mA low battery") << 5 << 66 << true << int(AlarmState::Normal) << QByteArray(t + "0.00005,0.05mA,0,1,normal\r\n");
        QTest::newRow("0.005 A") << 5 << 51 << false << int(AlarmState::Alarm) << QByteArray(t + "0.005,0.005A,0,0,alarm\r\n");
        QTest::newRow("10 A") << 10 << 48 << false << int(AlarmState::Normal) << QByteArray(t + "10,10A,0,0,normal\r\n");
        QTest::newRow("zero") << 0 << 49 << false << int(AlarmState::Normal) << QByteArray(t + "0,0.0A,0,0,normal\r\n");
        QTest::newRow("overload") << 4000 << 65 << false << int(AlarmState::Alarm) << QByteArray(t + ",OL   mA,1,0,alarm\r\n");
        QTest::newRow("O  L in range 50") << 10000 << 50 << false << int(AlarmState::Normal) << QByteArray(t + ",O  L,1,0,normal\r\n");
        QTest::newRow("no factor") << 12 << 0x43 << false << int(AlarmState::NotLocked) << QByteArray(t + ",,0,0,not locked\r\n");
    }
    void line() {
        QFETCH(int, count);
        QFETCH(int, range);
        QFETCH(bool, low);
        QFETCH(int, alarm);
        QFETCH(QByteArray, line);
        LiveLogReading r = reading(count, static_cast<uint8_t>(range));
        r.low_batt = low;
        r.alarm = static_cast<AlarmState>(alarm);
        QCOMPARE(live_log_line(r), line);
        QVERIFY(kLine.match(QString::fromUtf8(line.chopped(1))).hasMatch());
    }

    // Catches locale-dependent digits or separators in the time or the amperes.
    void same_line_in_every_locale() {
        const QByteArray reference = live_log_line(reading(123, 65));
        const QLocale saved;
        for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            QLocale::setDefault(locale);
            if (live_log_line(reading(123, 65)) != reference) {
                QLocale::setDefault(saved);
                QFAIL(qPrintable(locale.name()));
            }
        }
        QLocale::setDefault(saved);
    }

    // Catches a wrong sign or rounding of the offset west of Greenwich and at half hours.
    void offsets_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("UTC") << 0 << QStringLiteral("+00:00");
        QTest::newRow("New York") << -5 * 3600 << QStringLiteral("-05:00");
        QTest::newRow("Newfoundland") << -(3 * 3600 + 1800) << QStringLiteral("-03:30");
        QTest::newRow("Kathmandu") << 5 * 3600 + 2700 << QStringLiteral("+05:45");
    }
    void offsets() {
        QFETCH(int, seconds);
        QFETCH(QString, suffix);
        const QDateTime t(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone(seconds));
        QCOMPARE(iso_time_ms(t), QStringLiteral("2026-01-02T03:04:05.006") + suffix);
    }

    // Catches a missing header, a header written twice, or a count that ignores what the file held.
    void new_and_continued() {
        const QString path = dir_.filePath(QStringLiteral("continued.csv"));
        {
            LiveLog log;
            QCOMPARE(log.open(path), std::nullopt);
            QCOMPARE(log.readings(), 0);
            for (int i = 0; i < 3; ++i) QCOMPARE(log.append(live_log_line(reading(i, 65))), std::nullopt);
            QCOMPARE(log.readings(), 3);
            QCOMPARE(log.close(), std::nullopt);
        }
        LiveLog log;
        QCOMPARE(log.open(path), std::nullopt);
        QCOMPARE(log.readings(), 3);
        QCOMPARE(log.append(live_log_line(reading(9, 65))), std::nullopt);
        QCOMPARE(log.readings(), 4);
        log.close();
        const QByteArray bytes = read_all(path);
        QCOMPARE(whole_lines(bytes), 4);
        QCOMPARE(bytes.count("time,"), 1);
    }

    // Catches a cut last line (power failure) being glued to the next reading.
    void cut_line_is_ended() {
        const QString path = dir_.filePath(QStringLiteral("cut.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(live_log_header() + live_log_line(reading(1, 65)) + "2026-12-10T17:0");
        f.close();
        LiveLog log;
        QCOMPARE(log.open(path), std::nullopt);
        QCOMPARE(log.append(live_log_line(reading(2, 65))), std::nullopt);
        log.close();
        const QList<QByteArray> lines = read_all(path).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[2], QByteArray("2026-12-10T17:0\r"));
        QCOMPARE(lines[3] + '\n', live_log_line(reading(2, 65)));
    }

    // Catches lines written on into a file no one can see: a log deleted, renamed or replaced while
    // recording is noticed at the next line or sync and started again at its path; the old file
    // keeps its lines whole; a foreign file put in its place stops the log and is left as it was.
    void deleted_or_replaced_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("at_sync"); // noticed by sync_if_due instead of the next line
        QTest::addColumn<int>("lines_after"); // lines of the log at the path afterwards; -1: stopped
        QTest::newRow("deleted") << "delete" << false << 1;
        QTest::newRow("deleted, noticed at the sync") << "delete" << true << 0;
        QTest::newRow("renamed away") << "rename" << false << 1;
        QTest::newRow("replaced by another log") << "other log" << false << 6;
        QTest::newRow("replaced by a foreign file") << "foreign" << false << -1;
        QTest::newRow("replaced by a folder") << "folder" << true << -1;
        QTest::newRow("its folder removed") << "folder gone" << false << -1;
    }
    void deleted_or_replaced() {
        QFETCH(QString, change);
        QFETCH(bool, at_sync);
        QFETCH(int, lines_after);
        QTemporaryDir here;
        const QString folder = here.filePath(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/live.csv");
        const QString moved = here.filePath(QStringLiteral("moved.csv"));
        LiveLog log;
        QCOMPARE(log.open(path), std::nullopt);
        for (int i = 0; i < 2; ++i) QCOMPARE(log.append(live_log_line(reading(i, 65))), std::nullopt);

        QByteArray other_log = live_log_header();
        for (int i = 0; i < 5; ++i) other_log += live_log_line(reading(100 + i, 66));
        if (change == "delete") QVERIFY(QFile::remove(path));
        if (change == "rename") QVERIFY(QFile::rename(path, moved));
        if (change == "folder gone") QVERIFY(QDir(folder).removeRecursively());
        if (change == "folder") {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        }
        if (change == "other log" || change == "foreign") {
            QFile f(moved);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(change == "foreign" ? QByteArray("a,b\r\n") : other_log);
            f.close();
            QVERIFY(::rename(QFile::encodeName(moved).constData(), QFile::encodeName(path).constData()) == 0);
        }
        const QByteArray foreign = read_all(path);

        const auto outcome = at_sync ? log.sync_if_due() : log.append(live_log_line(reading(7, 65)));
        if (lines_after < 0) {
            QVERIFY(outcome.has_value());
            QVERIFY2(outcome->contains(QStringLiteral("deleted or replaced")), qPrintable(*outcome));
            QVERIFY(!log.is_open());
            QCOMPARE(read_all(path), foreign);
            QVERIFY(!log.take_restarted());
            return;
        }
        QCOMPARE(outcome, std::nullopt);
        QVERIFY(log.is_open());
        QVERIFY(log.take_restarted());
        QVERIFY(!log.take_restarted()); // told once
        QCOMPARE(log.readings(), lines_after);
        QCOMPARE(log.append(live_log_line(reading(8, 65))), std::nullopt);
        QVERIFY(!log.take_restarted());
        QCOMPARE(log.close(), std::nullopt);
        QCOMPARE(whole_lines(read_all(path)), lines_after + 1);
        if (change == "rename") QCOMPARE(whole_lines(read_all(moved)), 2);
    }

    // Catches appending readings to a file that is not a log (the operator's data would be spoilt).
    void foreign_file_refused_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("records file") << QByteArray("record,time,current_a\r\n1,,\r\n");
        QTest::newRow("text") << QByteArray("hello");
        QTest::newRow("other columns") << QByteArray("time,current_a,shown\r\n");
    }
    void foreign_file_refused() {
        QFETCH(QByteArray, content);
        const QString path = dir_.filePath(QStringLiteral("foreign.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        LiveLog log;
        QVERIFY(log.open(path).has_value());
        QVERIFY(!log.is_open());
        QCOMPARE(read_all(path), content);
    }

    // Catches an unopenable target being reported as recording: a missing or read-only folder, a folder, a device.
    void unopenable_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing folder") << dir_.filePath(QStringLiteral("nope/log.csv"));
        QTest::newRow("a folder") << dir_.path();
        QTest::newRow("a device") << QStringLiteral("/dev/null");
    }
    void unopenable() {
        QFETCH(QString, path);
        LiveLog log;
        const auto reason = log.open(path);
        QVERIFY(reason.has_value());
        QVERIFY(!reason->isEmpty());
        QVERIFY(!log.is_open());
    }

    // Catches a FIFO that stops the window in open(), a device opened (its lines would change) or
    // a folder taken for a log: refused at once, by the kind of file, nothing written.
    void non_regular_refused_data() { tessaro::test::add_odd_file_rows(); }
    void non_regular_refused() {
        QFETCH(int, kind);
        const QString path = dir_.filePath(QStringLiteral("odd-%1.csv").arg(kind));
        PLANT_ODD_FILE(kind, path);
        LiveLog log;
        const auto reason = log.open(path);
        QVERIFY(reason.has_value());
        QVERIFY2(reason->endsWith(QStringLiteral(", not a file.")), qPrintable(*reason));
        QVERIFY(!log.is_open());
    }

    void read_only_folder() {
        if (geteuid() == 0) QSKIP("root writes into read-only folders");
        const QString folder = dir_.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        LiveLog log;
        QVERIFY(log.open(folder + QStringLiteral("/log.csv")).has_value());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Catches a full disk leaving half a line or going unreported: the log stops, whole up to its last line.
    void full_disk_stops_whole() {
        const QString path = dir_.filePath(QStringLiteral("full.csv"));
        LiveLog log;
        QCOMPARE(log.open(path), std::nullopt);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 4000; // lines are about 50 bytes: the limit falls inside one
        setrlimit(RLIMIT_FSIZE, &limit);
        std::optional<QString> reason;
        int written = 0;
        for (int i = 0; i < 1000 && !reason; ++i) {
            reason = log.append(live_log_line(reading(i, 65)));
            if (!reason) ++written;
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);
        QVERIFY(reason.has_value());
        QVERIFY(!log.is_open());
        QCOMPARE(log.append(live_log_line(reading(1, 65))).has_value(), true);
        QCOMPARE(whole_lines(read_all(path)), written);
    }

    // Catches lines held in a user-space buffer: a SIGKILL mid-run loses nothing written, and cuts no line.
    void sigkill_mid_run() {
        const QString path = dir_.filePath(QStringLiteral("killed.csv"));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            LiveLog log;
            if (log.open(path)) _exit(2);
            for (int i = 0;; i = (i + 1) % 32768)
                if (log.append(live_log_line(reading(i, 66)))) _exit(3);
        }
        // Wait until the child has written a good many lines, then kill it in the middle of its work.
        QTRY_VERIFY_WITH_TIMEOUT(read_all(path).count('\n') > 2000, 60000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        const QByteArray bytes = read_all(path);
        QVERIFY(whole_lines(bytes) > 2000);
    }
};

QTEST_GUILESS_MAIN(TstLiveLog)
#include "tst_live_log.moc"
