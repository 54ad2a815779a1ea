// The Save command: which file it writes, the report's bytes, the dialog's settings, cancel and failures.
#include "app/form1.h"
#include "chart/chart_widget.h"
#include "support/child_writer.h"
#include "support/form_fixture.h"

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QTime>

using namespace tessaro;

namespace {

const QByteArray kTitle = "                           Current Record   ";
const QByteArray kHeader = "  No      Current    Data     Time     ";
const QByteArray kSeparator = "-------------------------------------- ";

// Slot s of the sample store: record s + 1 in whole amperes; every 10th from 3 on is OL,
// every 7th is marked.
void store_samples(Form1& form, int records) {
    for (int s = 0; s < records; ++s) {
        const int count = s % 10 == 3 ? 4000 : s + 1;
        const uint8_t frame[8] = {static_cast<uint8_t>((s % 7 == 0 ? 0x80 : 0) | (count >> 8)),
                                  static_cast<uint8_t>(count & 0xFF),
                                  0x30,
                                  24,
                                  static_cast<uint8_t>(1 + s % 12),
                                  static_cast<uint8_t>(1 + s % 28),
                                  static_cast<uint8_t>(s % 24),
                                  static_cast<uint8_t>(s % 60)};
        QVERIFY(form.store_record(s, frame));
    }
    form.count_records();
}

// The report line of a sample slot under the en_US formats (M/d/yy, h:mm:ss AP).
QByteArray sample_report_line(int s, int records) {
    if (s >= records) return "     ";
    QString line = QStringLiteral(" No%1").arg(s + 1, 4, 10, QLatin1Char('0'));
    line += s % 10 == 3 ? QStringLiteral("   OL    ") : QStringLiteral(" %1A   ").arg(s + 1);
    line += QStringLiteral("%1/%2/24  ").arg(1 + s % 12).arg(1 + s % 28);
    line += QTime(s % 24, s % 60).toString(QStringLiteral("h:mm:ss AP"));
    if (s % 7 == 0) line += QStringLiteral("       \u25A0 ");
    return line.toUtf8();
}

QByteArray expected_report(int records) {
    const int pages = (records + 1) / 26 + 1;
    QList<QByteArray> lines{kTitle, kHeader + "Page 1"};
    for (int p = 0; p < pages; ++p) {
        for (int r = 0; r < 26; ++r) lines << sample_report_line(26 * p + r, records);
        lines << kSeparator << kHeader + "Page" + QByteArray::number(p + 2);
    }
    return lines.join("\r\n") + "\r\n";
}

QByteArray read_all(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_all(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QString vuz_folder() { return QDir::homePath() + QStringLiteral("/VUZ"); }

enum class View { History, RealtimePaused, RealtimeRunning, Curve };

// Puts the window into the state a view leaves behind, as far as Save reads it.
void enter(Form1& form, View view) {
    switch (view) {
    case View::History: form.Command9_Click(); break;
    case View::RealtimePaused:
        form.Command11_Click();
        form.acq_on = 0;
        break;
    case View::RealtimeRunning: form.Command11_Click(); break;
    case View::Curve:
        form.Command9_Click();
        form.curve_mode = 100;
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(View)

class TstSaveCommand : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void report_bytes_match_data();
    void report_bytes_match();
    void state_chooses_report_or_bitmap_data();
    void state_chooses_report_or_bitmap();
    void missing_suffix_is_added_data();
    void missing_suffix_is_added();
    void save_folder_made_for_bitmap_only_data();
    void save_folder_made_for_bitmap_only();
    void overwrite_asked_for_written_name_data();
    void overwrite_asked_for_written_name();
    void cancel_touches_nothing_data();
    void cancel_touches_nothing();
    void failed_save_is_reported_data();
    void failed_save_is_reported();
    void full_disk_keeps_old_file_data();
    void full_disk_keeps_old_file();
    void ignored_while_sorting();
};

void TstSaveCommand::initTestCase() {
    // The report's dates follow the default locale: fix one so the bytes are known.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TstSaveCommand::cleanupTestCase() { QLocale::setDefault(QLocale::system()); }

void TstSaveCommand::report_bytes_match_data() {
    QTest::addColumn<int>("records");
    QTest::newRow("empty store, one page, 30 lines") << 0;
    QTest::newRow("26 records, two pages, ends with Page3") << 26;
    QTest::newRow("100 records with marks and OL") << 100;
}

void TstSaveCommand::report_bytes_match() {
    // Catches a wrong page count, a missing trailing header, wrong line endings or a bad record line.
    QFETCH(int, records);
    test::FormFixture f;
    store_samples(*f.form, records);
    enter(*f.form, View::History);
    const QString path = f.xdg.root() + QStringLiteral("/report.xls");
    f.user.save_names.enqueue(path);
    f.form->Command1_Click();

    const QByteArray bytes = read_all(path);
    QCOMPARE(bytes, expected_report(records));
    QVERIFY(f.user.messages.isEmpty());
    const QList<QByteArray> lines = bytes.chopped(2).split('\n');
    QCOMPARE(lines.size(), 2 + 28 * ((records + 1) / 26 + 1));
    if (records == 0) QCOMPARE(lines.size(), 30);
    if (records == 26) QCOMPARE(lines.constLast(), kHeader + "Page3");
}

void TstSaveCommand::state_chooses_report_or_bitmap_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("report");
    QTest::newRow("history view") << View::History << "out.xls" << true;
    QTest::newRow("realtime view paused") << View::RealtimePaused << "out.xls" << true;
    QTest::newRow("realtime view running") << View::RealtimeRunning << "out.bmp" << false;
    QTest::newRow("curve view, typed .txt") << View::Curve << "out.txt" << false;
}

void TstSaveCommand::state_chooses_report_or_bitmap() {
    // Catches the choice made by the typed extension, a non-BMP bitmap, or the wrong dialog settings.
    QFETCH(View, view);
    QFETCH(QString, name);
    QFETCH(bool, report);
    test::FormFixture f;
    store_samples(*f.form, 5);
    enter(*f.form, view);
    const QString path = f.xdg.root() + QLatin1Char('/') + name;
    f.user.save_names.enqueue(path);
    f.form->Command1_Click();

    QCOMPARE(f.user.saves.size(), 1);
    const SaveRequest& asked = f.user.saves.constFirst();
    const QString suffix = report ? QStringLiteral("xls") : QStringLiteral("bmp");
    QCOMPARE(asked.folder, vuz_folder());
    QCOMPARE(asked.file_name, QStringLiteral("VUZ.") + suffix);
    QCOMPARE(asked.filter, QStringLiteral("*.") + suffix);
    QCOMPARE(asked.default_suffix, suffix);
    // Only the bitmap makes the save folder.
    QCOMPARE(QDir(vuz_folder()).exists(), !report);

    const QByteArray bytes = read_all(path);
    if (report) {
        QVERIFY(bytes.startsWith(kTitle + "\r\n"));
        QVERIFY(bytes.contains(" No0005 5A   "));
    } else {
        QVERIFY(bytes.startsWith("BM"));
        QImage image;
        QVERIFY(image.loadFromData(bytes, "BMP"));
        QCOMPARE(image.size(), f.form->Picture1->image().size());
    }
    QVERIFY(f.user.messages.isEmpty());
}

void TstSaveCommand::missing_suffix_is_added_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("report") << View::History << "records" << "records.xls";
    QTest::newRow("bitmap") << View::RealtimeRunning << "records" << "records.bmp";
    QTest::newRow("report, trailing dot") << View::History << "records." << "records.xls";
    QTest::newRow("bitmap, trailing dot") << View::Curve << "records." << "records.bmp";
    QTest::newRow("report, two trailing dots") << View::History << "records.." << "records..xls";
    QTest::newRow("report, other suffix kept") << View::History << "records.txt" << "records.txt";
}

void TstSaveCommand::missing_suffix_is_added() {
    // Catches a file written under the bare name when the dialog returned one without suffix,
    // or a name ending in "." given "..xls".
    QFETCH(View, view);
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    test::FormFixture f;
    enter(*f.form, view);
    f.user.save_names.enqueue(f.xdg.root() + QLatin1Char('/') + chosen);
    f.form->Command1_Click();
    QVERIFY(f.user.messages.isEmpty());
    QStringList files = QDir(f.xdg.root()).entryList({QStringLiteral("records*")}, QDir::Files);
    QCOMPARE(files, QStringList{written});
    QVERIFY(QFileInfo(f.xdg.root() + QLatin1Char('/') + written).size() > 0);
}

void TstSaveCommand::save_folder_made_for_bitmap_only_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<bool>("made");
    QTest::newRow("report") << View::History << false;
    QTest::newRow("bitmap, realtime") << View::RealtimeRunning << true;
    QTest::newRow("bitmap, curve view") << View::Curve << true;
}

void TstSaveCommand::save_folder_made_for_bitmap_only() {
    // Catches ~/VUZ made only after the dialog (the dialog would open elsewhere) or made for the report.
    QFETCH(View, view);
    QFETCH(bool, made);
    test::FormFixture f;
    enter(*f.form, view);
    QVERIFY(!QDir(vuz_folder()).exists());
    f.user.save_names.enqueue(QString()); // cancelled: nothing after the dialog runs
    f.form->Command1_Click();
    QCOMPARE(f.user.saves.size(), 1);
    QCOMPARE(QDir(vuz_folder()).exists(), made);
}

enum class Target { Report, Bitmap, Csv };

void TstSaveCommand::overwrite_asked_for_written_name_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("typed");     // the name the dialog returns
    QTest::addColumn<QString>("existing");  // a file already there ("" none)
    QTest::addColumn<int>("answer");        // to the question, when one comes: 1 Yes, 0 No
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("written");   // the name written ("" nothing)
    const auto T = [](Target t) { return static_cast<int>(t); };
    QTest::newRow("report, trailing dot, No") << T(Target::Report) << "rep." << "rep.xls" << 0 << true << "";
    QTest::newRow("report, trailing dot, Yes") << T(Target::Report) << "rep." << "rep.xls" << 1 << true << "rep.xls";
    QTest::newRow("report, no suffix, No") << T(Target::Report) << "rep" << "rep.xls" << 0 << true << "";
    QTest::newRow("report, full name, Yes") << T(Target::Report) << "rep.xls" << "rep.xls" << 1 << true << "rep.xls";
    QTest::newRow("report, typed name exists, written does not")
        << T(Target::Report) << "rep." << "rep." << 0 << false << "rep.xls";
    QTest::newRow("report, new name") << T(Target::Report) << "rep." << "" << 0 << false << "rep.xls";
    QTest::newRow("bitmap, trailing dot, No") << T(Target::Bitmap) << "chart." << "chart.bmp" << 0 << true << "";
    QTest::newRow("bitmap, trailing dot, Yes") << T(Target::Bitmap) << "chart." << "chart.bmp" << 1 << true << "chart.bmp";
    QTest::newRow("csv, trailing dot, No") << T(Target::Csv) << "recs." << "recs.csv" << 0 << true << "";
    QTest::newRow("csv, trailing dot, Yes") << T(Target::Csv) << "recs." << "recs.csv" << 1 << true << "recs.csv";
}

void TstSaveCommand::overwrite_asked_for_written_name() {
    // Catches an existing file replaced without a question because the dialog checked the
    // name as typed ("rep.") and the program then wrote another one ("rep.xls"); and a
    // question about a name that is not written.
    QFETCH(int, target);
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(QString, written);
    test::FormFixture f;
    store_samples(*f.form, 30);
    enter(*f.form, target == static_cast<int>(Target::Bitmap) ? View::Curve : View::History);
    const QString root = f.xdg.root() + QLatin1Char('/');
    if (!existing.isEmpty()) QVERIFY(write_all(root + existing, "kept as it was"));
    f.user.save_names.enqueue(root + typed);
    f.user.answers.enqueue(answer == 1 ? Answer::Yes : Answer::No);
    if (target == static_cast<int>(Target::Csv))
        f.form->export_records_csv();
    else
        f.form->Command1_Click();

    if (asked) {
        QCOMPARE(f.user.messages.size(), 1);
        const MessageRequest& q = f.user.messages.constFirst();
        QVERIFY(q.yes_no && q.default_no);
        QCOMPARE(q.title, QStringLiteral("System prompt"));
        QVERIFY2(q.text.contains(QLatin1Char('"') + root + existing + QLatin1Char('"')), qPrintable(q.text));
    } else {
        QVERIFY(f.user.messages.isEmpty());
    }
    if (written.isEmpty()) {
        // No: the dialog comes back (here cancelled), proposing the name that exists.
        QCOMPARE(f.user.saves.size(), 2);
        QCOMPARE(f.user.saves[1].file_name, existing);
        QCOMPARE(read_all(root + existing), QByteArray("kept as it was"));
    } else {
        QCOMPARE(f.user.saves.size(), 1);
        const QByteArray bytes = read_all(root + written);
        QVERIFY(bytes.size() > 100);
        if (target == static_cast<int>(Target::Bitmap)) QVERIFY(bytes.startsWith("BM"));
        if (existing != written && !existing.isEmpty()) QCOMPARE(read_all(root + existing), QByteArray("kept as it was"));
    }
}

void TstSaveCommand::cancel_touches_nothing_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("name");
    QTest::newRow("report") << View::History << "VUZ.xls";
    QTest::newRow("bitmap") << View::Curve << "VUZ.bmp";
}

void TstSaveCommand::cancel_touches_nothing() {
    // Catches a cancelled dialog that still empties or rewrites the proposed file, or speaks.
    QFETCH(View, view);
    QFETCH(QString, name);
    test::FormFixture f;
    store_samples(*f.form, 40);
    enter(*f.form, view);
    QVERIFY(QDir().mkpath(vuz_folder()));
    const QString existing = vuz_folder() + QLatin1Char('/') + name;
    QVERIFY(write_all(existing, "kept as it was"));
    f.user.save_names.enqueue(QString());
    f.form->Command1_Click();
    QCOMPARE(f.user.saves.size(), 1);
    QCOMPARE(read_all(existing), QByteArray("kept as it was"));
    QCOMPARE(QDir(vuz_folder()).entryList(QDir::Files), QStringList{name});
    QVERIFY(f.user.messages.isEmpty());
}

void TstSaveCommand::failed_save_is_reported_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<QString>("name"); // below the test's root
    QTest::newRow("report below a plain file") << View::History << "plain/out.xls";
    QTest::newRow("report in a missing folder") << View::History << "missing/out.xls";
    QTest::newRow("report onto a folder") << View::History << "folder.xls";
    QTest::newRow("bitmap in a missing folder") << View::RealtimeRunning << "missing/out.bmp";
}

void TstSaveCommand::failed_save_is_reported() {
    // Catches a failed save that passes silently or leaves a file behind under the chosen name.
    QFETCH(View, view);
    QFETCH(QString, name);
    test::FormFixture f;
    store_samples(*f.form, 30);
    enter(*f.form, view);
    QVERIFY(write_all(f.xdg.root() + QStringLiteral("/plain"), "a file, not a folder"));
    QVERIFY(QDir().mkpath(f.xdg.root() + QStringLiteral("/folder.xls")));
    const QString path = f.xdg.root() + QLatin1Char('/') + name;
    f.user.save_names.enqueue(path);
    f.form->Command1_Click();

    QCOMPARE(f.user.messages.size(), 1);
    const MessageRequest& told = f.user.messages.constFirst();
    QCOMPARE(told.title, QStringLiteral("System prompt"));
    QVERIFY2(told.text.contains(path), qPrintable(told.text));
    QVERIFY2(told.text.count(QLatin1Char('\n')) >= 1, qPrintable(told.text)); // a reason follows the name
    QVERIFY(!QFileInfo(path).isFile());
    QCOMPARE(read_all(f.xdg.root() + QStringLiteral("/plain")), QByteArray("a file, not a folder"));
    QVERIFY(QDir(f.xdg.root() + QStringLiteral("/folder.xls")).isEmpty());
}

void TstSaveCommand::full_disk_keeps_old_file_data() {
    QTest::addColumn<View>("view");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("room"); // bytes the disk still takes
    QTest::newRow("report of an empty store, disk full") << View::History << 0 << 0;
    QTest::newRow("report of 30 records, 1 KiB free") << View::History << 30 << 1024;
    QTest::newRow("report of 30 records, room for a few lines") << View::History << 30 << 200;
    QTest::newRow("bitmap, 4 KiB free") << View::RealtimeRunning << 0 << 4096;
}

void TstSaveCommand::full_disk_keeps_old_file() {
    // Catches a cut-off report renamed over the old one with no message (the write fit a
    // buffer and its failure only showed at the flush), or a reason the operator cannot act on.
    QFETCH(View, view);
    QFETCH(int, records);
    QFETCH(int, room);
    test::FormFixture f;
    store_samples(*f.form, records);
    enter(*f.form, view);
    const QString path = f.xdg.root() + QStringLiteral("/rep.xls");
    QVERIFY(write_all(path, "old report\r\n"));
    f.user.save_names.enqueue(path);
    f.user.answers.enqueue(Answer::Yes); // replace the old report
    const std::optional<QString> told =
        test::write_in_child({static_cast<rlim_t>(room), false}, [&]() -> std::optional<QString> {
            f.form->Command1_Click();
            if (f.user.messages.size() < 2) return std::nullopt;
            return f.user.messages.constLast().text;
        });
    QVERIFY2(told.has_value(), "the failed save was reported as success");
    QVERIFY2(told->contains(path) && told->contains(qt_error_string(EFBIG)), qPrintable(*told));
    QCOMPARE(read_all(path), QByteArray("old report\r\n"));
    QCOMPARE(QDir(f.xdg.root()).entryList({QStringLiteral("*rep.xls*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("rep.xls")});
}

void TstSaveCommand::ignored_while_sorting() {
    // Catches a save that runs from inside a sort's event pump and writes a half-sorted table.
    test::FormFixture f;
    enter(*f.form, View::History);
    f.form->sorting = true;
    f.user.save_names.enqueue(f.xdg.root() + QStringLiteral("/out.xls"));
    f.form->Command1_Click();
    f.form->sorting = false;
    QVERIFY(f.user.saves.isEmpty());
    QVERIFY(!QFileInfo::exists(f.xdg.root() + QStringLiteral("/out.xls")));
}

QTEST_MAIN(TstSaveCommand)
#include "tst_save_command.moc"
