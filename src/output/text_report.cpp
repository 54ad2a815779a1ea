#include "text_report.h"

#include "records/record_store.h"

#include <QStringList>

namespace tessaro {

namespace {

const QString kTitle = QStringLiteral("                           Current Record   ");
const QString kColumns = QStringLiteral("  No      Current    Data     Time     ");
const QString kSeparator = QString(38, QLatin1Char('-')) + QLatin1Char(' ');

QStringList report_lines(int page_count, const LineOf& line_of) {
    QStringList lines{kTitle, kColumns + QStringLiteral("Page 1")};
    for (int p = 0; p < page_count; ++p) {
        for (int r = 0; r < kRowsPerPage; ++r)
            lines << QLatin1Char(' ') + line_for_slot(line_of, p * kRowsPerPage + r);
        lines << kSeparator << kColumns + QStringLiteral("Page") + QString::number(p + 2);
    }
    return lines;
}

} // namespace

QByteArray report_bytes(int page_count, const LineOf& line_of) {
    QByteArray out;
    for (const QString& line : report_lines(page_count, line_of)) out += line.toUtf8() + "\r\n";
    return out;
}

} // namespace tessaro
