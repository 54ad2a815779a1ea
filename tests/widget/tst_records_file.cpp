// Export CSV and Open CSV on the main window: round trip, refusals that keep store and table, confirmation, failures.
#include "app/form1.h"
#include "records/record_format.h"
#include "records/records_csv.h"
#include "support/form_fixture.h"
#include "support/odd_files.h"
#include "history_fill.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;

namespace {

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList table(const Form1& form) {
    QStringList rows;
    for (int n = 1; n <= 26; ++n) rows << form.text_box(n)->text();
    return rows;
}

// Records of every range code, marks, the OL band and dates that are no dates, in slots 0..n-1.
void fill_varied(Form1& form, int n) {
    const uint8_t ranges[] = {0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43, 0x07, 0xFF};
    for (int s = 0; s < n; ++s) {
        const int count = s % 11 == 4 ? 3701 + s % 1000 : (s * 97) % 32768;
        const uint8_t frame[8] = {static_cast<uint8_t>((s % 5 == 0 ? 0x80 : 0) | (count >> 8)),
                                  static_cast<uint8_t>(count & 0xFF),
                                  ranges[static_cast<size_t>(s) % std::size(ranges)],
                                  static_cast<uint8_t>(s % 101),
                                  static_cast<uint8_t>(s % 14),
                                  static_cast<uint8_t>(s % 33),
                                  static_cast<uint8_t>(s % 25),
                                  static_cast<uint8_t>(s % 61)};
        QVERIFY(form.store_record(s, frame));
    }
    form.count_records();
}

} // namespace

class TstRecordsFile : public QObject {
    Q_OBJECT
    std::unique_ptr<FormFixture> f;
    std::unique_ptr<QTemporaryDir> dir;

    QString path(const char* name) const { return dir->filePath(QString::fromLatin1(name)); }

    void export_to(const QString& name) {
        f->user.save_names.enqueue(name);
        f->form->export_records_csv();
    }
    void open_from(const QString& name, Answer answer = Answer::Yes) {
        f->user.open_names.enqueue(name);
        f->user.answers.enqueue(answer);
        f->form->open_records_csv();
    }

private slots:
    void init() {
        f = std::make_unique<FormFixture>();
        dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        f.reset();
        dir.reset();
    }

    // Catches a record changed or lost on Export -> Open -> Export, and an opened file not shown from page 1.
    void export_open_export_data() {
        QTest::addColumn<int>("records");
        QTest::newRow("one page") << 20;
        QTest::newRow("4600 records") << 4600;
    }
    void export_open_export() {
        QFETCH(int, records);
        Form1& form = *f->form;
        fill_varied(form, records);
        export_to(path("first.csv"));
        const QByteArray first = read_all(path("first.csv"));
        QCOMPARE(first.count('\n'), records + 1);
        const auto before = tessaro::test::record_bag(form);

        form.clear_records();
        form.count_records();
        form.show_page(3);
        open_from(path("first.csv"));
        QVERIFY(f->user.messages.isEmpty()); // an empty store asks nothing
        QCOMPARE(form.ji_ge, records + 1);
        QCOMPARE(tessaro::test::record_bag(form), before);
        QCOMPARE(form.cur_page, 0);
        QCOMPARE(form.text_box(1)->text(), format_record_text(form, 0, QLocale()));

        export_to(path("second.csv"));
        QCOMPARE(read_all(path("second.csv")), first);
    }

    // Catches records dropped without a word (2301 of 4600 came in, and the question counted 2301):
    // a file a converter rewrote opens whole, the question names all its records, and it exports
    // to the bytes it came from.
    void rewritten_file_opens_whole_data() {
        QTest::addColumn<QByteArray>("line_end");
        QTest::newRow("blank line between records") << QByteArray("\r\n\r\n");
        QTest::newRow("CR CR LF") << QByteArray("\r\r\n");
        QTest::newRow("LF and emptied rows") << QByteArray("\n,,,,,,,,,,,,\n");
    }
    void rewritten_file_opens_whole() {
        QFETCH(QByteArray, line_end);
        Form1& form = *f->form;
        fill_varied(form, 4600);
        export_to(path("first.csv"));
        const QByteArray first = read_all(path("first.csv"));
        const auto exported = tessaro::test::record_bag(form);
        write(path("rewritten.csv"), QByteArray(first).replace("\r\n", line_end));
        form.clear_records();
        tessaro::test::fill_records(form, 5);
        form.count_records();

        open_from(path("rewritten.csv"));
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY2(f->user.messages[0].text.contains(QStringLiteral("with the 4600 records")), qPrintable(f->user.messages[0].text));
        QCOMPARE(form.ji_ge, 4601);
        QCOMPARE(tessaro::test::record_bag(form), exported);
        export_to(path("second.csv"));
        QCOMPARE(read_all(path("second.csv")), first);
    }

    // Catches a FIFO that stops the window, a link to /dev/zero that fills the memory and a device
    // opened as a file: each is refused at once with the kind of file, nothing changed.
    void non_regular_file_changes_nothing_data() { tessaro::test::add_odd_file_rows(); }
    void non_regular_file_changes_nothing() {
        QFETCH(int, kind);
        PLANT_ODD_FILE(kind, path("odd.csv"));
        Form1& form = *f->form;
        tessaro::test::fill_records(form, 40);
        form.count_records();
        const auto before = tessaro::test::record_bag(form);
        const QStringList shown = table(form);
        open_from(path("odd.csv"));
        QCOMPARE(f->user.messages.size(), 1);
        const QString text = f->user.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("could not be read")) && text.contains(QStringLiteral(", not a file.")), qPrintable(text));
        QCOMPARE(tessaro::test::record_bag(form), before);
        QCOMPARE(table(form), shown);
    }

    // Catches opened records that the history commands treat differently from downloaded ones.
    void opened_records_sort_and_restore() {
        Form1& form = *f->form;
        write(path("r.csv"), records_csv(std::vector<FileRecord>{
                                 {3, 5, 0x40, 0, {24, 1, 1, 0, 0}}, {1, 9, 0x40, 1, {24, 1, 1, 0, 1}}, {2, 7, 0x40, 0, {24, 1, 1, 0, 2}}}));
        open_from(path("r.csv"));
        form.Command12_Click(); // Ascend: the largest current first
        QCOMPARE(form.rec_value[0], 9.0f);
        QCOMPARE(form.rec_value[2], 5.0f);
        form.Command7_Click(); // Restore: by record number
        QCOMPARE(form.rec_no[0], 1.0f);
        QCOMPARE(form.rec_value[0], 9.0f);
        QCOMPARE(form.rec_no[2], 3.0f);
        QVERIFY(form.text_box(1)->text().startsWith(QStringLiteral("No0001 9mA")));
    }

    // Catches a bad file reaching the store or the table: refused with the line and reason, nothing changed.
    void refused_file_changes_nothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray header = "record,time,current_a,shown,count,range_code,mark,year,month,day,hour,minute\r\n";
        QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
        QTest::newRow("wrong header") << QByteArray("a,b,c\r\n") << QStringLiteral("Line 1: ");
        QTest::newRow("count out of range") << QByteArray(header + "1,,,,5,65,0,24,1,1,0,0\r\n2,,,,40000,65,0,24,1,1,0,0\r\n")
                                            << QStringLiteral("Line 3: the count");
        QTest::newRow("not UTF-8") << QByteArray(header + "1,,,\xC0\xAF,5,65,0,24,1,1,0,0\r\n") << QStringLiteral("UTF-8");
        QByteArray many = header;
        for (int i = 0; i < kMaxFileRecords + 1; ++i) many += "1,,,,5,65,0,24,1,1,0,0\r\n";
        QTest::newRow("too many records") << many << QStringLiteral("more than");
        QTest::newRow("larger than the largest records file")
            << QByteArray(header + QByteArray(kMaxRecordsFileBytes, ',')) << QStringLiteral("more than %1 bytes").arg(kMaxRecordsFileBytes);
        QTest::newRow("semicolon CSV, a column short")
            << QByteArray("record;time;current_a;shown;count;range_code;mark;year;month;day;hour;minute\r\n1;;0,05;;5;65;0;24;1;1;0\r\n")
            << QStringLiteral("Line 2: the line has fewer than 12 fields separated by semicolons.");
        QTest::newRow("5000 blank lines, then the text report")
            << QByteArray(QByteArray("\r\n").repeated(5000) + "No0001 12.3mA\r\n") << QStringLiteral("Line 5001: the header");
    }
    void refused_file_changes_nothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Form1& form = *f->form;
        tessaro::test::fill_records(form, 40);
        form.count_records();
        form.show_page(2);
        const auto before = tessaro::test::record_bag(form);
        const QStringList shown = table(form);
        write(path("bad.csv"), bytes);
        open_from(path("bad.csv"));
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY2(f->user.messages[0].text.contains(reason), qPrintable(f->user.messages[0].text));
        QVERIFY(f->user.messages[0].text.contains(QDir::toNativeSeparators(path("bad.csv"))));
        QCOMPARE(tessaro::test::record_bag(form), before);
        QCOMPARE(table(form), shown);
        QCOMPARE(form.cur_page, 1);
    }

    // Catches records on show replaced without asking, or replaced although the operator said No.
    void confirmation_guards_records_on_show() {
        Form1& form = *f->form;
        tessaro::test::fill_records(form, 5);
        form.count_records();
        write(path("one.csv"), records_csv(std::vector<FileRecord>{{1, 77, 0x41, 0, {24, 1, 1, 0, 0}}}));
        const auto before = tessaro::test::record_bag(form);
        open_from(path("one.csv"), Answer::No);
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY(f->user.messages[0].yes_no);
        QCOMPARE(tessaro::test::record_bag(form), before);
        open_from(path("one.csv"), Answer::Yes);
        QCOMPARE(form.ji_ge, 2);
        QCOMPARE(form.rec_value[0], 77.0f);
    }

    // Catches a failed export reported as success or leaving a file behind.
    void export_failure_is_reported() {
        Form1& form = *f->form;
        tessaro::test::fill_records(form, 5);
        export_to(path("missing/folder/x.csv"));
        QCOMPARE(f->user.messages.size(), 1);
        QVERIFY(f->user.messages[0].text.contains(QStringLiteral("could not be saved")));
        QVERIFY(!QFile::exists(path("missing/folder/x.csv")));
    }

    // Catches the commands mixing into a download: refused with a message, no dialog shown, store kept.
    void refused_while_downloading() {
        Form1& form = *f->form;
        tessaro::test::fill_records(form, 3);
        const auto before = tessaro::test::record_bag(form);
        form.link_state = 1;
        form.link_phase = 1;
        f->user.open_names.enqueue(path("none.csv"));
        f->user.save_names.enqueue(path("none.csv"));
        form.open_records_csv();
        form.export_records_csv();
        QCOMPARE(f->user.opens.size(), 0);
        QCOMPARE(f->user.saves.size(), 0);
        QCOMPARE(f->user.messages.size(), 2);
        QCOMPARE(tessaro::test::record_bag(form), before);
        QVERIFY(!QFile::exists(path("none.csv")));
    }

    // Catches the export picking another suffix or folder than the records file's.
    void export_dialog_proposes_csv() {
        f->user.save_names.enqueue(path("plain"));
        f->form->export_records_csv();
        QCOMPARE(f->user.saves.size(), 1);
        QCOMPARE(f->user.saves[0].file_name, QStringLiteral("VUZ.csv"));
        QVERIFY(QFile::exists(path("plain.csv")));
    }
};

QTEST_MAIN(TstRecordsFile)
#include "tst_records_file.moc"
