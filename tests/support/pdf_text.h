// Reading printed PDFs back in tests: page count (pdfinfo) and text (pdftotext -layout).
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace tessaro::test {

// The standard output of a program that ended well, else an empty string.
inline QString run_program(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Pages of the PDF, or -1 when it cannot be read.
inline int pdf_pages(const QString& pdf) {
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = pages.match(run_program(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The laid-out text of one page (1-based), or of the whole document for page 0.
inline QString pdf_text(const QString& pdf, int page = 0) {
    QStringList args{QStringLiteral("-layout")};
    if (page > 0) args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    args << pdf << QStringLiteral("-");
    return run_program(QStringLiteral("pdftotext"), args);
}

// The first line of text holding token, or an empty string.
inline QString line_with(const QString& text, const QString& token) {
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.contains(token)) return line;
    return {};
}

} // namespace tessaro::test
