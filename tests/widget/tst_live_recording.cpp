// Record to file on the main window: one line per accepted reading, survival of pause and views, failures, exit.
#include "app/form1.h"
#include "link/alarm_rules.h"
#include "link/live_log.h"
#include "live_feed.h"
#include "support/form_fixture.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace tessaro;
using tessaro::test::FormFixture;

namespace {

using tessaro::test::feed_live;
using tessaro::test::live_frame_bytes;

QList<QByteArray> log_lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// The fields of a log line after its time.
QByteArray fields(const QByteArray& line) { return line.mid(line.indexOf(',') + 1); }

} // namespace

class TstLiveRecording : public QObject {
    Q_OBJECT
    std::unique_ptr<FormFixture> f;
    std::unique_ptr<QTemporaryDir> dir;
    QString log_path;

    void start() {
        f->user.save_names.enqueue(log_path);
        f->form->start_recording();
    }

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        f->form->live_skip = 9; // past the two frames every restart hides
        dir = std::make_unique<QTemporaryDir>();
        log_path = dir->filePath(QStringLiteral("live.csv"));
    }
    void cleanup() {
        f.reset();
        dir.reset();
    }

    // Catches readings missing from the log, frames the handler refuses logged, a wrong alarm column.
    void one_line_per_accepted_reading() {
        Form1& form = *f->form;
        start();
        QVERIFY(form.live_log.is_open());
        QVERIFY(!form.record_action->isEnabled());
        QVERIFY(form.stop_record_action->isEnabled());
        QCOMPARE(f->user.saves.size(), 1);
        QVERIFY(!f->user.saves[0].confirm_overwrite);

        feed_live(form, live_frame_bytes(123, 0x41));
        feed_live(form, live_frame_bytes(0, 0x41).left(2)); // missing byte: not a reading
        feed_live(form, live_frame_bytes(5, 0xFF));         // no reading
        feed_live(form, live_frame_bytes(4000, 0x41, true));
        form.lock_on = kLockOn;
        form.alarm_unit = kAlarmUnitMilliA;
        form.alarm_limit_exact = 1000; // 10 mA
        feed_live(form, live_frame_bytes(123, 0x41));
        feed_live(form, live_frame_bytes(50, 0x41));
        QVERIFY(form.Text29->toolTip().contains(QStringLiteral("4 readings")));

        form.stop_recording();
        QVERIFY(!form.live_log.is_open());
        QVERIFY(form.record_action->isEnabled());
        QVERIFY(form.Text29->toolTip().isEmpty());
        const QList<QByteArray> lines = log_lines(log_path);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0] + '\n', live_log_header());
        QCOMPARE(fields(lines[1]), QByteArray("0.0123,12.3mA,0,0,not locked\r"));
        QCOMPARE(fields(lines[2]), QByteArray(",OL   mA,1,1,not locked\r"));
        QCOMPARE(fields(lines[3]), QByteArray("0.0123,12.3mA,0,0,alarm\r"));
        QCOMPARE(fields(lines[4]), QByteArray("0.005,5.0mA,0,0,normal\r"));
    }

    // Catches recording that ends or restarts the file on Pause/Start, a view change or a print reload.
    void survives_pause_and_views() {
        Form1& form = *f->form;
        start();
        feed_live(form, live_frame_bytes(1, 0x40));
        form.Command5_Click(); // Pause
        form.Command5_Click(); // Start
        form.Command9_Click(); // history view
        form.Command11_Click(); // realtime view
        form.live_skip = 9;
        feed_live(form, live_frame_bytes(2, 0x40));
        QVERIFY(form.live_log.is_open());
        QCOMPARE(form.live_log.readings(), 2);
        form.stop_recording();
        QCOMPARE(log_lines(log_path).size(), 3);

        // A second recording into the same file continues it under the one header.
        start();
        feed_live(form, live_frame_bytes(3, 0x40));
        QCOMPARE(form.live_log.readings(), 3);
        form.stop_recording();
        const QList<QByteArray> lines = log_lines(log_path);
        QCOMPARE(lines.size(), 4);
        QVERIFY(fields(lines[3]).startsWith("0.003,3mA,"));
    }

    // Catches a log left open or unsynced at exit.
    void exit_closes_the_log() {
        Form1& form = *f->form;
        start();
        feed_live(form, live_frame_bytes(7, 0x40));
        form.exit_program();
        QVERIFY(!form.live_log.is_open());
        QCOMPARE(log_lines(log_path).size(), 2);
    }

    // Catches a file that cannot be a log being taken: refused with one message naming it, recording off.
    void foreign_file_refused() {
        QFile file(log_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("record,time\r\n1,\r\n");
        file.close();
        start();
        QVERIFY(!f->form->live_log.is_open());
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY(f->user.messages[0].text.contains(log_path));
        QVERIFY(f->form->record_action->isEnabled());
    }

    // Catches readings written on into a deleted log without a word: the next reading starts the
    // file again with its header, the operator is told once, and recording goes on.
    void deleted_log_starts_again() {
        Form1& form = *f->form;
        start();
        feed_live(form, live_frame_bytes(1, 0x40));
        QVERIFY(QFile::remove(log_path));
        feed_live(form, live_frame_bytes(2, 0x40));
        feed_live(form, live_frame_bytes(3, 0x40));
        QTRY_COMPARE_WITH_TIMEOUT(f->user.messages.size(), 1, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY(f->user.messages[0].text.contains(log_path));
        QVERIFY(f->user.messages[0].text.contains(QStringLiteral("deleted or replaced")));
        QVERIFY(form.live_log.is_open());
        QVERIFY(form.Text29->toolTip().contains(QStringLiteral("2 readings")));
        const QList<QByteArray> lines = log_lines(log_path);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0] + '\n', live_log_header());

        // Noticed by the port supervisor's tick as well, with no reading coming.
        QVERIFY(QFile::remove(log_path));
        form.Timer3_Timer();
        QCOMPARE(f->user.messages.size(), 2);
        QCOMPARE(log_lines(log_path).size(), 1);
        form.stop_recording();
    }

    // Catches a full disk that goes unreported, is reported once per frame, or stops the monitoring.
    void write_failure_stops_with_one_message() {
        Form1& form = *f->form;
        start();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 2000;
        setrlimit(RLIMIT_FSIZE, &limit);
        for (int i = 0; i < 100; ++i) feed_live(form, live_frame_bytes(i, 0x40));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);

        QVERIFY(!form.live_log.is_open());
        QTRY_COMPARE_WITH_TIMEOUT(f->user.messages.size(), 1, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY(f->user.messages[0].text.contains(log_path));
        QVERIFY(f->user.messages[0].text.contains(QStringLiteral("stopped")));
        QCOMPARE(form.Text29->text(), QStringLiteral("99mA")); // monitoring went on
        QVERIFY(form.record_action->isEnabled());
        const QList<QByteArray> lines = log_lines(log_path);
        QVERIFY(lines.size() > 10);
        for (qsizetype i = 1; i < lines.size(); ++i) QVERIFY(lines[i].endsWith("not locked\r"));
    }
};

QTEST_MAIN(TstLiveRecording)
#include "tst_live_recording.moc"
