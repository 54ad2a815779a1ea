#include "print_sheets.h"

#include "output/sheet_layout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

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

// Twips to device pixels, shrunk when the sheet is larger than the printable area.
double twip_scale(const QSizeF& extent, const QPrinter& printer) {
    const double pixels_per_twip = printer.resolution() / kTwipsPerInch;
    const QSizeF area(printer.width() / pixels_per_twip, printer.height() / pixels_per_twip);
    double fit = 1.0;
    if (extent.width() > area.width()) fit = std::min(fit, area.width() / extent.width());
    if (extent.height() > area.height()) fit = std::min(fit, area.height() / extent.height());
    return pixels_per_twip * fit;
}

void paint_sheet(QPainter& painter, QPrinter& printer, const std::vector<SheetLine>& lines, const QFont& family) {
    const double scale = twip_scale(sheet_extent(lines, family, &printer), printer);
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
    QPainter painter;
    if (!painter.begin(&printer) || failed(printer)) {
        if (painter.isActive()) painter.end();
        return reason(printer, PrintFailure::Start);
    }
    for (int d = dakai; d < dajie; ++d) {
        if (d != dakai && (!printer.newPage() || failed(printer))) {
            painter.end();
            return reason(printer, PrintFailure::NewPage);
        }
        paint_sheet(painter, printer, sheet_layout(d, line_of), family);
        if (failed(printer)) {
            painter.end();
            return reason(printer, PrintFailure::Sheet);
        }
    }
    if (!painter.end() || failed(printer)) return reason(printer, PrintFailure::Finish);
    return std::nullopt;
}

} // namespace tessaro
