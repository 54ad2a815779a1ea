// Printing sheets to PDF: one page per sheet, the right slots on each page, failures reported.
#include "output/print_sheets.h"
#include "support/sample_lines.h"
#include "support/pdf_text.h"
#include "support/child_writer.h"
#include "support/file_bytes.h"

#include <QtTest>

#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tessaro;
using tessaro::test::line_with;
using tessaro::test::pdf_pages;
using tessaro::test::pdf_text;

namespace {

LineOf records(int count) {
    return [count](int s) { return test::sample_line(s, count); };
}

// The width in points of each occurrence of word on the page, as the PDF reader lays it out.
QList<double> word_widths(const QString& pdf, int page, const QString& word) {
    const QString html = test::run_program(QStringLiteral("pdftotext"),
                                           {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                            QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    const QRegularExpression box(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" "
                                                "yMax=\"[\\d.]+\">%1</word>").arg(word));
    QList<double> widths;
    for (const QRegularExpressionMatch& m : box.globalMatch(html))
        widths << m.captured(2).toDouble() - m.captured(1).toDouble();
    return widths;
}

} // namespace

class TstPrintSheets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void one_sheet_holds_both_columns();
    void full_sheet_and_blank_second_sheet();
    void middle_sheet_alone();
    void small_paper_loses_no_row();
    void empty_range_prints_nothing();
    void unwritable_file_gives_reason();
    void one_scale_for_the_whole_job();
    void full_disk_keeps_old_pdf_data();
    void full_disk_keeps_old_pdf();

private:
    void print(int dakai, int dajie, const LineOf& line_of, QPageSize::PageSizeId paper = QPageSize::A4);
    QString pdf_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void TstPrintSheets::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the printed PDF");
}

void TstPrintSheets::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    pdf_ = dir_->filePath(QStringLiteral("sheets.pdf"));
}

void TstPrintSheets::print(int dakai, int dajie, const LineOf& line_of, QPageSize::PageSizeId paper) {
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf_);
    printer.setPageSize(QPageSize(paper));
    QCOMPARE(print_sheets(printer, dakai, dajie, line_of, print_font()), std::nullopt);
}

void TstPrintSheets::one_sheet_holds_both_columns() {
    // Catches a wrong column pairing, a lost right column or a blank sheet added at the end.
    print(0, 1, records(100));
    QCOMPARE(pdf_pages(pdf_), 1);
    const QString text = pdf_text(pdf_, 1);
    QVERIFY(text.contains(QStringLiteral("Current Record")));
    for (int k = 0; k < 78; ++k) {
        const QString row = line_with(text, test::sample_number(k));
        QVERIFY2(!row.isEmpty(), qPrintable(test::sample_number(k)));
        if (k + 78 < 100)
            QVERIFY2(row.contains(test::sample_number(k + 78)), qPrintable(row));
        else
            QCOMPARE(row.count(QStringLiteral("No0")), 1);
    }
    QVERIFY(!text.contains(test::sample_number(100)));
    QVERIFY(line_with(text, test::sample_number(3)).contains(QStringLiteral("OL")));
    QVERIFY(text.contains(QChar(0x25A0)));
}

void TstPrintSheets::full_sheet_and_blank_second_sheet() {
    // Catches a sheet that drops its last row of either column, or newPage after the last sheet.
    print(0, 2, records(156));
    QCOMPARE(pdf_pages(pdf_), 2);
    const QString first = pdf_text(pdf_, 1);
    QVERIFY(!line_with(first, test::sample_number(77)).isEmpty());
    QVERIFY(line_with(first, test::sample_number(77)).contains(test::sample_number(155)));
    QVERIFY(!pdf_text(pdf_, 2).contains(QStringLiteral("No0")));
}

void TstPrintSheets::middle_sheet_alone() {
    // Catches printing from sheet 0 or one sheet too many for dakai 2, dajie 3.
    print(2, 3, records(600));
    QCOMPARE(pdf_pages(pdf_), 1);
    const QString text = pdf_text(pdf_, 1);
    for (int s = 312; s <= 467; ++s) QVERIFY2(text.contains(test::sample_number(s)), qPrintable(test::sample_number(s)));
    QVERIFY(!text.contains(test::sample_number(311)));
    QVERIFY(!text.contains(test::sample_number(468)));
}

void TstPrintSheets::small_paper_loses_no_row() {
    // Catches rows or the right column falling off a page smaller than the sheet.
    print(0, 1, records(156), QPageSize::A6);
    QCOMPARE(pdf_pages(pdf_), 1);
    const QString text = pdf_text(pdf_, 1);
    for (int s = 0; s < 156; ++s) QVERIFY2(text.contains(test::sample_number(s)), qPrintable(test::sample_number(s)));
}

void TstPrintSheets::empty_range_prints_nothing() {
    // Catches a blank page or an empty job sent for a range with no sheet.
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf_);
    int asked = 0;
    const LineOf counting = [&asked](int) { ++asked; return QStringLiteral("x"); };
    QCOMPARE(print_sheets(printer, 3, 3, counting, print_font()), std::nullopt);
    QCOMPARE(print_sheets(printer, 5, 1, counting, print_font()), std::nullopt);
    QVERIFY(!QFileInfo::exists(pdf_));
    QCOMPARE(asked, 0);
}

void TstPrintSheets::unwritable_file_gives_reason() {
    // Catches a failed print job reported as success.
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = dir_->filePath(QStringLiteral("missing/sheets.pdf"));
    printer.setOutputFileName(path);
    const std::optional<QString> reason = print_sheets(printer, 0, 1, records(10), print_font());
    QVERIFY(reason.has_value());
    QVERIFY2(reason->contains(path), qPrintable(*reason));
    QVERIFY(!QFileInfo::exists(path));
}

void TstPrintSheets::one_scale_for_the_whole_job() {
    // Catches each sheet scaled on its own to its widest line, so that sheets of one job come
    // out in different sizes.
    const LineOf wide_then_narrow = [](int s) {
        const QString line = test::sample_line(s, 400);
        return s < 156 ? line + QStringLiteral(" wide wide wide wide wide wide wide wide wide") : line;
    };
    print(0, 3, wide_then_narrow);
    QCOMPARE(pdf_pages(pdf_), 3);
    const QList<double> first = word_widths(pdf_, 1, QStringLiteral("Current"));
    QVERIFY(!first.isEmpty());
    for (int page = 2; page <= 3; ++page) {
        const QList<double> widths = word_widths(pdf_, page, QStringLiteral("Current"));
        QCOMPARE(widths.size(), first.size());
        for (int i = 0; i < widths.size(); ++i)
            QVERIFY2(qAbs(widths[i] - first[i]) < 0.05,
                     qPrintable(QStringLiteral("page %1: %2 against %3").arg(page).arg(widths[i]).arg(first[i])));
    }
    // The wide sheet did need shrinking: the job is smaller than a lone narrow sheet.
    print(2, 3, wide_then_narrow);
    const QList<double> alone = word_widths(pdf_, 1, QStringLiteral("Current"));
    QVERIFY(!alone.isEmpty());
    QVERIFY2(alone.constFirst() > first.constFirst() + 0.5, qPrintable(QString::number(alone.constFirst())));
}

void TstPrintSheets::full_disk_keeps_old_pdf_data() {
    QTest::addColumn<int>("room");
    QTest::newRow("disk full") << 0;
    QTest::newRow("4 KiB free") << 4096;
    QTest::newRow("16 KiB free") << 16384;
}

void TstPrintSheets::full_disk_keeps_old_pdf() {
    // Catches a cut-off PDF left under the chosen name and the job reported as printed.
    QFETCH(int, room);
    test::write_plain(pdf_, "%PDF-old");
    const std::optional<QString> reason = test::write_in_child({static_cast<rlim_t>(room), false}, [&] {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf_);
        return print_sheets(printer, 0, 3, records(400), print_font());
    });
    QVERIFY(reason.has_value());
    QVERIFY2(reason->contains(pdf_) && reason->contains(qt_error_string(EFBIG)), qPrintable(*reason));
    QCOMPARE(test::read_all(pdf_), QByteArray("%PDF-old"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("sheets.pdf")});
}

QTEST_MAIN(TstPrintSheets)
#include "tst_print_sheets.moc"
