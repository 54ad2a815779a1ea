#include "print_sheets.h"

#include "output/sheet_layout.h"
#include "platform/safe_file.h"

#include <QBuffer>
#include <QPdfWriter>

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <functional>

namespace tessaro {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kUnboundedWidth = 1e6; // texts are placed by their corner, never wrapped or clipped

enum class PrintFailure { Start, Sheet, NewPage, Finish };

QString failure_text(PrintFailure failure) {
    switch (failure) {
    case PrintFailure::Start: return QStringLiteral("The print job could not be started");
    case PrintFailure::Sheet: return QStringLiteral("The printer failed while printing a sheet");
    case PrintFailure::NewPage: return QStringLiteral("The printer could not start a new sheet");
    case PrintFailure::Finish: return QStringLiteral("The print job could not be finished");
    }
    return {};
}

QString reason(const QPrinter& printer, PrintFailure failure) {
    const QString target = printer.outputFileName().isEmpty()
        ? QStringLiteral("printer \"%1\"").arg(printer.printerName())
        : QStringLiteral("file \"%1\"").arg(printer.outputFileName());
    return failure_text(failure) + QStringLiteral(" on ") + target + QLatin1Char('.');
}

bool failed(const QPrinter& printer) { return printer.printerState() == QPrinter::Error; }

// Under the twip transform a pixel size in twips is the point size times 20.
QFont sheet_font(const QFont& family, double points) {
    QFont font(family);
    font.setBold(true);
    font.setPixelSize(line_height_twips(points));
    return font;
}

// The sheet's extent in twips, measured with the fonts it is printed in.
QSizeF sheet_extent(const std::vector<SheetLine>& lines, const QFont& family, QPaintDevice* device) {
    QSizeF extent;
    for (const SheetLine& line : lines) {
        const QFontMetricsF metrics(sheet_font(family, line.points), device);
        extent.setWidth(std::max(extent.width(), line.x + metrics.horizontalAdvance(line.text)));
        extent.setHeight(std::max(extent.height(), double(line.y + line_height_twips(line.points))));
    }
    return extent;
}

// The output the sheets are painted on: a printer, or a PDF writer into memory.
struct PrintTarget {
    QPagedPaintDevice& device;
    double resolution; // device pixels per inch
    std::function<bool()> failed;
};

// Twips to device pixels, shrunk when a sheet is larger than the printable area.
double twip_scale(const QSizeF& extent, const PrintTarget& target) {
    const double pixels_per_twip = target.resolution / kTwipsPerInch;
    const QSizeF area(target.device.width() / pixels_per_twip, target.device.height() / pixels_per_twip);
    double fit = 1.0;
    if (extent.width() > area.width()) fit = std::min(fit, area.width() / extent.width());
    if (extent.height() > area.height()) fit = std::min(fit, area.height() / extent.height());
    return pixels_per_twip * fit;
}

void paint_sheet(QPainter& painter, double scale, const std::vector<SheetLine>& lines, const QFont& family) {
    painter.save();
    painter.scale(scale, scale);
    for (const SheetLine& line : lines) {
        painter.setFont(sheet_font(family, line.points));
        const int height = line_height_twips(line.points);
        painter.drawText(QRectF(line.x, line.y, kUnboundedWidth, 2 * height),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, line.text);
    }
    painter.restore();
}

std::optional<PrintFailure> paint_sheets(const PrintTarget& target, int dakai, int dajie, const LineOf& line_of,
                                         const QFont& family) {
    // One scale for the whole job, the smallest any sheet needs: every sheet in the same size.
    QSizeF extent;
    for (int d = dakai; d < dajie; ++d) extent = extent.expandedTo(sheet_extent(sheet_layout(d, line_of), family, &target.device));
    const double scale = twip_scale(extent, target);

    QPainter painter;
    if (!painter.begin(&target.device) || target.failed()) {
        if (painter.isActive()) painter.end();
        return PrintFailure::Start;
    }
    for (int d = dakai; d < dajie; ++d) {
        if (d != dakai && (!target.device.newPage() || target.failed())) {
            painter.end();
            return PrintFailure::NewPage;
        }
        paint_sheet(painter, scale, sheet_layout(d, line_of), family);
        if (target.failed()) {
            painter.end();
            return PrintFailure::Sheet;
        }
    }
    if (!painter.end() || target.failed()) return PrintFailure::Finish;
    return std::nullopt;
}

// The PDF engine reports no write failure: the document is made in memory and then written
// whole by the checked writer, so a full disk leaves the old file and names its reason.
std::optional<QString> print_to_file(QPrinter& printer, int dakai, int dajie, const LineOf& line_of,
                                     const QFont& family) {
    QByteArray document;
    QBuffer buffer(&document);
    buffer.open(QIODevice::WriteOnly);
    std::optional<PrintFailure> failure;
    {
        QPdfWriter writer(&buffer);
        writer.setPdfVersion(printer.pdfVersion());
        writer.setResolution(printer.resolution());
        writer.setPageLayout(printer.pageLayout());
        writer.setTitle(printer.docName());
        writer.setCreator(printer.creator());
        failure = paint_sheets(PrintTarget{writer, double(printer.resolution()), [] { return false; }}, dakai, dajie,
                               line_of, family);
    }
    if (failure) return reason(printer, *failure);
    if (const std::optional<QString> why = write_file_atomically(printer.outputFileName(), document))
        return reason(printer, PrintFailure::Finish) + QLatin1Char(' ') + *why;
    return std::nullopt;
}

} // namespace

QFont print_font() {
    static const bool mapped = [] {
        QFont::insertSubstitutions(QStringLiteral("Song typeface"),
                                   {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                                    QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("AR PL UMing CN")});
        return true;
    }();
    Q_UNUSED(mapped);
    QFont font(QStringLiteral("Song typeface"));
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

std::optional<QString> print_sheets(QPrinter& printer, int dakai, int dajie, const LineOf& line_of,
                                    const QFont& family) {
    if (dakai > dajie - 1) return std::nullopt;
    if (!printer.outputFileName().isEmpty()) return print_to_file(printer, dakai, dajie, line_of, family);
    const PrintTarget target{printer, double(printer.resolution()), [&printer] { return failed(printer); }};
    if (const std::optional<PrintFailure> failure = paint_sheets(target, dakai, dajie, line_of, family))
        return reason(printer, *failure);
    return std::nullopt;
}

} // namespace tessaro
