// The Print command: the options window with the main window unloaded, the reload, the sheets, cancel and Exit.
#include "app/form1.h"
#include "chart/chart_widget.h"
#include "output/form3.h"
#include "support/child_writer.h"
#include "support/form_fixture.h"
#include "support/pdf_text.h"

#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

using namespace tessaro;
using tessaro::test::line_with;
using tessaro::test::pdf_pages;
using tessaro::test::pdf_text;

namespace {

QString number(int slot) { return QStringLiteral("No%1").arg(slot + 1, 4, 10, QLatin1Char('0')); }

void store_records(Form1& form, int records) {
    for (int s = 0; s < records; ++s) {
        const int count = s % 10 == 3 ? 4000 : 100 + s;
        const uint8_t frame[8] = {static_cast<uint8_t>((s % 7 == 0 ? 0x80 : 0) | (count >> 8)),
                                  static_cast<uint8_t>(count & 0xFF), 0x41, 24, 1, 5, 12, static_cast<uint8_t>(s % 60)};
        QVERIFY(form.store_record(s, frame));
    }
    form.count_records();
}

Form3* open_options() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form3 = qobject_cast<Form3*>(w); form3 && form3->isVisible()) return form3;
    return nullptr;
}

// What the test saw while the options window was open.
struct Seen {
    bool options_open = false;
    bool main_visible = true;
    bool timers_running = true;
    QString records_caption;
};

// Acts in the options window once the print command waits for it.
void when_options_open(Seen& seen, Form1& form, std::function<void(Form3&)> act) {
    QTimer::singleShot(0, &form, [&seen, &form, act] {
        Form3* options = open_options();
        seen.options_open = options != nullptr;
        seen.main_visible = form.isVisible();
        seen.timers_running = form.Timer1->isActive() || form.Timer3->isActive();
        if (!options) return;
        seen.records_caption = options->Label1->text();
        act(*options);
    });
}

void print_all(Form3& options) { QTest::mouseClick(options.Command2, Qt::LeftButton); }

std::function<void(Form3&)> print_range(const QString& first, const QString& last) {
    return [first, last](Form3& options) {
        options.Option1->setChecked(true);
        options.Text1->setText(first);
        options.Text2->setText(last);
        QTest::mouseClick(options.Command2, Qt::LeftButton);
    };
}

} // namespace

class TstPrintCommand : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void all_sheets_of_100_records();
    void a_range_prints_only_its_sheet();
    void empty_range_prints_no_page();
    void printer_dialog_cancel_prints_nothing();
    void options_cancel_returns_to_history_data();
    void options_cancel_returns_to_history();
    void window_comes_back_as_after_start_up();
    void failed_printing_is_reported();
    void full_disk_printing_is_reported();
    void ignored_while_sorting();
    void exit_during_printer_dialog();
    void exit_while_options_open();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString pdf_;
    std::function<bool(QPrinter&)> to_pdf(const QString& path, bool* main_visible = nullptr);
};

void TstPrintCommand::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the printed PDF");
}

void TstPrintCommand::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    pdf_ = dir_->filePath(QStringLiteral("sheets.pdf"));
}

void TstPrintCommand::cleanup() {
    // Exit leaves every running loop and makes later nested loops return at once until the
    // application loop runs again: run it once so the next test starts afresh.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

std::function<bool(QPrinter&)> TstPrintCommand::to_pdf(const QString& path, bool* main_visible) {
    return [path, main_visible](QPrinter& printer) {
        if (main_visible) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<Form1*>(w)) *main_visible = w->isVisible();
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return true;
    };
}

void TstPrintCommand::all_sheets_of_100_records() {
    // Catches a wrong column pairing, a blank extra sheet, or the printer dialog before the reload.
    test::FormFixture f;
    store_records(*f.form, 100);
    Seen seen;
    bool visible_at_dialog = false;
    f.user.printer_setup = to_pdf(pdf_, &visible_at_dialog);
    when_options_open(seen, *f.form, print_all);
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QCOMPARE(seen.records_caption, QStringLiteral("共有:100组"));
    QVERIFY(!seen.main_visible);
    QVERIFY(!seen.timers_running);
    QVERIFY(visible_at_dialog);
    QCOMPARE(f.user.print_dialogs, 1);
    QVERIFY(f.user.messages.isEmpty());
    QCOMPARE(pdf_pages(pdf_), 1);
    const QString text = pdf_text(pdf_);
    for (int k = 0; k < 78; ++k) {
        const QString row = line_with(text, number(k));
        QVERIFY2(!row.isEmpty(), qPrintable(number(k)));
        if (k + 78 < 100)
            QVERIFY2(row.contains(number(k + 78)), qPrintable(row));
        else
            QCOMPARE(row.count(QStringLiteral("No0")), 1);
    }
    QVERIFY(!text.contains(number(100)));
    QVERIFY(line_with(text, number(3)).contains(QStringLiteral("OL")));
}

void TstPrintCommand::a_range_prints_only_its_sheet() {
    // Catches an off-by-one in the sheet range taken from the options window.
    test::FormFixture f;
    store_records(*f.form, 500);
    Seen seen;
    f.user.printer_setup = to_pdf(pdf_);
    when_options_open(seen, *f.form, print_range(QStringLiteral("3"), QStringLiteral("3")));
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QCOMPARE(pdf_pages(pdf_), 1);
    const QString text = pdf_text(pdf_);
    for (int s = 312; s <= 467; ++s) QVERIFY2(text.contains(number(s)), qPrintable(number(s)));
    QVERIFY(!text.contains(number(311)));
    QVERIFY(!text.contains(number(468)));
    QCOMPARE(f.form->dayinlin, 0);
}

void TstPrintCommand::empty_range_prints_no_page() {
    // Catches a blank page or an empty job for a range whose last sheet comes before its first.
    test::FormFixture f;
    store_records(*f.form, 500);
    Seen seen;
    f.user.printer_setup = to_pdf(pdf_);
    when_options_open(seen, *f.form, print_range(QStringLiteral("3"), QStringLiteral("2")));
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QCOMPARE(f.user.print_dialogs, 1);
    QVERIFY(!QFileInfo::exists(pdf_));
    QVERIFY(f.user.messages.isEmpty());
    QVERIFY(f.form->isVisible());
}

void TstPrintCommand::printer_dialog_cancel_prints_nothing() {
    // Catches printing after the operator cancelled the printer dialog.
    test::FormFixture f;
    store_records(*f.form, 20);
    Seen seen;
    bool set_up = false;
    f.user.printer_setup = [this, &set_up](QPrinter& printer) {
        set_up = true;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf_);
        return false;
    };
    when_options_open(seen, *f.form, print_all);
    f.form->Command16_Click();

    QVERIFY(set_up);
    QVERIFY(!QFileInfo::exists(pdf_));
    QVERIFY(f.user.messages.isEmpty());
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->Command5->text(), QStringLiteral("Read"));
    QCOMPARE(f.form->cur_page, 0);
    QCOMPARE(f.form->dayinlin, 0);
}

void TstPrintCommand::options_cancel_returns_to_history_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("window frame") << 1;
    QTest::newRow("Escape") << 2;
    QTest::newRow("all sheets with no records") << 3;
}

void TstPrintCommand::options_cancel_returns_to_history() {
    // Catches a wait that never ends, a printer dialog after cancel, or a window left unloaded.
    QFETCH(int, how);
    test::FormFixture f;
    if (how != 3) store_records(*f.form, 30);
    Seen seen;
    f.user.printer_setup = to_pdf(pdf_);
    when_options_open(seen, *f.form, [how](Form3& options) {
        switch (how) {
        case 0: QTest::mouseClick(options.Command3, Qt::LeftButton); break;
        case 1: options.close(); break;
        case 2: QTest::keyClick(&options, Qt::Key_Escape); break;
        default: QTest::mouseClick(options.Command2, Qt::LeftButton); break;
        }
    });
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QCOMPARE(f.user.print_dialogs, 0);
    QVERIFY(!QFileInfo::exists(pdf_));
    QVERIFY(open_options() == nullptr);
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->dayinlin, 0);
    QCOMPARE(f.form->Command5->text(), QStringLiteral("Read"));
    QVERIFY(f.form->Option2->isChecked());
    QVERIFY(f.form->Text1->isVisible());
    QCOMPARE(f.form->cur_page, 0);
    if (how != 3) QVERIFY(f.form->Text1->text().startsWith(number(0)));
}

void TstPrintCommand::window_comes_back_as_after_start_up() {
    // Catches lost records or alarm lock across the reload, or controls and live state not reset by it.
    test::FormFixture f;
    store_records(*f.form, 60);
    f.form->lock_on = 100;
    f.form->alarm_unit = 48;
    f.form->alarm_limit = 2.5f;
    f.form->live_samples[0] = 1234.0;
    f.form->live_samples[400] = 5678.0;
    f.form->dl_unfinished = true;
    f.form->Command9_Click();
    f.form->Command4_Click(); // page 2 on show
    f.form->Text27->setText(QStringLiteral("2"));
    f.form->curve_mode = 0;
    f.form->dl_unfinished = true;
    Seen seen;
    f.user.printer_setup = to_pdf(pdf_);
    when_options_open(seen, *f.form, print_all);
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QCOMPARE(pdf_pages(pdf_), 1);
    // Back, in the history view on its first page.
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->cur_page, 0);
    QVERIFY(f.form->Text1->text().startsWith(number(0)));
    QVERIFY(f.form->Text26->text().startsWith(number(25)));
    QCOMPARE(f.form->Text41->text(), QString());
    QCOMPARE(f.form->Text27->text(), QStringLiteral("1")); // as designed
    QCOMPARE(f.form->Command5->text(), QStringLiteral("Read"));
    QVERIFY(f.form->Option2->isChecked());
    QVERIFY(f.form->Command16->isEnabled());
    QVERIFY(!f.form->Picture1->isVisible());
    QCOMPARE(f.form->acq_on, 0);
    QVERIFY(!f.form->Timer2->isActive());
    QVERIFY(f.form->Timer1->isActive());
    QVERIFY(f.form->Timer3->isActive());
    // Variables kept.
    QCOMPARE(f.form->ji_ge, 61);
    QCOMPARE(f.form->lock_on, 100);
    QCOMPARE(f.form->alarm_unit, 48);
    QCOMPARE(f.form->alarm_limit, 2.5f);
    // Reset as start-up does.
    QCOMPARE(f.form->live_samples[0], 4200000.0);
    QCOMPARE(f.form->live_samples[400], 4200000.0);
    QCOMPARE(f.form->dayinlin, 0);
    QVERIFY(!f.form->dl_unfinished);
}

void TstPrintCommand::failed_printing_is_reported() {
    // Catches a print job that fails silently.
    test::FormFixture f;
    store_records(*f.form, 10);
    Seen seen;
    const QString path = dir_->filePath(QStringLiteral("missing/sheets.pdf"));
    f.user.printer_setup = to_pdf(path);
    when_options_open(seen, *f.form, print_all);
    f.form->Command16_Click();

    QCOMPARE(f.user.messages.size(), 1);
    QCOMPARE(f.user.messages.constFirst().title, QStringLiteral("System prompt"));
    QVERIFY2(f.user.messages.constFirst().text.contains(path), qPrintable(f.user.messages.constFirst().text));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(f.form->isVisible());
    QCOMPARE(f.form->Command5->text(), QStringLiteral("Read"));
}

void TstPrintCommand::full_disk_printing_is_reported() {
    // Catches a cut-off PDF left under the chosen name with no message (the PDF engine reports
    // no write failure).
    test::FormFixture f;
    store_records(*f.form, 400);
    const QString path = dir_->filePath(QStringLiteral("sheets.pdf"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("%PDF-old");
    }
    // In this process: the print path has started threads by now that a forked child could
    // deadlock on.
    Seen seen;
    f.user.printer_setup = to_pdf(path);
    when_options_open(seen, *f.form, print_all);
    {
        test::ScopedFileSizeLimit limit(8192);
        f.form->Command16_Click();
    }
    const std::optional<QString> told =
        f.user.messages.size() == 1 ? std::optional<QString>(f.user.messages.constFirst().text) : std::nullopt;
    QVERIFY2(told.has_value(), "the failed print was not reported");
    QVERIFY2(told->contains(path) && told->contains(qt_error_string(EFBIG)), qPrintable(*told));
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("%PDF-old"));
}

void TstPrintCommand::ignored_while_sorting() {
    // Catches a print started from inside a sort's event pump, unloading the window under the sort.
    test::FormFixture f;
    f.form->Command9_Click();
    f.form->sorting = true;
    f.form->Command16_Click(); // would wait forever if it opened the options window
    QVERIFY(open_options() == nullptr);
    QVERIFY(f.form->isVisible());
    f.form->sorting = false;
}

void TstPrintCommand::exit_during_printer_dialog() {
    // Catches printing, or touching the window, after Exit arrived while the printer dialog was open.
    test::FormFixture f;
    store_records(*f.form, 10);
    Seen seen;
    f.user.printer_setup = [&f, this](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf_);
        f.form->exit_program();
        return true;
    };
    when_options_open(seen, *f.form, print_all);
    f.form->Command16_Click();
    QVERIFY(f.form->quitting);
    QVERIFY(!QFileInfo::exists(pdf_));
}

void TstPrintCommand::exit_while_options_open() {
    // Catches a wait that outlives Exit (a hang) or a crash when the options window goes with it.
    test::FormFixture f;
    store_records(*f.form, 10);
    Seen seen;
    f.user.printer_setup = to_pdf(pdf_);
    when_options_open(seen, *f.form, [&f](Form3&) { f.form->exit_program(); });
    f.form->Command16_Click();

    QVERIFY(seen.options_open);
    QVERIFY(f.form->quitting);
    QCOMPARE(f.user.print_dialogs, 0);
    QVERIFY(open_options() == nullptr);
    QVERIFY(!f.form->isVisible());
}

QTEST_MAIN(TstPrintCommand)
#include "tst_print_command.moc"
