#include "print_options.h"

#include "records/number_text.h"

namespace tessaro {

namespace {

const QString kEmptyEntry = QStringLiteral("输入错误");
const QString kNotANumber = QStringLiteral("所输入的数据类型不对");
const QString kFirstIsZero = QStringLiteral("打印开始页数不能为0");
const QString kLastIsZero = QStringLiteral("打印结束页数不能为0");
const QString kFirstOutOfRange = QStringLiteral("打印开始页数超出范围");
const QString kLastOutOfRange = QStringLiteral("打印结束页数超出范围");

enum class Entry { Sheet, NotANumber, Zero, OutOfRange };

struct SheetEntry {
    Entry kind = Entry::NotANumber;
    double value = 0.0;
};

// The first sheet counts from 1; it and the sheet before it must fit 16 bits, so that it can
// never wrap into another sheet.
SheetEntry first_sheet(const QString& text) {
    const std::optional<double> value = parse_number(text.toStdString());
    if (!value) return {Entry::NotANumber};
    if (*value == 0.0) return {Entry::Zero};
    if (!to_int16(*value) || !to_int16(*value - 1.0)) return {Entry::OutOfRange};
    return {Entry::Sheet, *value};
}

// Any last sheet beyond the records is the last sheet of the records, however large.
SheetEntry last_sheet(const QString& text, int limit) {
    const std::optional<double> value = parse_number(text.toStdString());
    if (!value) return {Entry::NotANumber};
    if (*value == 0.0) return {Entry::Zero};
    if (*value > limit) return {Entry::Sheet, *value};
    if (!to_int16(*value)) return {Entry::OutOfRange};
    return {Entry::Sheet, *value};
}

PrintAnswer print_all(int ji_ge) {
    PrintAnswer answer;
    answer.closes = true;
    if (ji_ge <= 1) {
        answer.dayinlin = kPrintAnswerCancel;
        return answer;
    }
    answer.dayinlin = kPrintAnswerPrint;
    answer.dakai = 0;
    answer.dajie = static_cast<int16_t>(sheet_count(ji_ge));
    return answer;
}

PrintAnswer print_range(const QString& first_text, const QString& last_text, int ji_ge) {
    PrintAnswer answer;
    if (first_text.isEmpty() || last_text.isEmpty()) {
        answer.messages << kEmptyEntry;
        return answer;
    }
    const int limit = ji_ge / kRecordsPerSheet + 1;
    const SheetEntry first = first_sheet(first_text);
    const SheetEntry last = last_sheet(last_text, limit);
    if (first.kind != Entry::Sheet || last.kind != Entry::Sheet) {
        if (first.kind == Entry::NotANumber || last.kind == Entry::NotANumber) answer.messages << kNotANumber;
        if (first.kind == Entry::NotANumber || first.kind == Entry::Zero) answer.messages << kFirstIsZero;
        if (first.kind == Entry::OutOfRange) answer.messages << kFirstOutOfRange;
        if (last.kind == Entry::NotANumber || last.kind == Entry::Zero) answer.messages << kLastIsZero;
        if (last.kind == Entry::OutOfRange) answer.messages << kLastOutOfRange;
        return answer;
    }
    double last_value = last.value;
    if (last_value > limit) {
        last_value = limit;
        answer.corrected_last = QString::number(limit);
    }
    answer.closes = true;
    answer.dayinlin = kPrintAnswerPrint;
    answer.dajie = *to_int16(last_value);
    answer.dakai = *to_int16(first.value - 1.0);
    return answer;
}

} // namespace

int sheet_count(int ji_ge) {
    const int whole = ji_ge / kRecordsPerSheet;
    return ji_ge % kRecordsPerSheet == 0 ? whole : whole + 1;
}

QString records_caption(int ji_ge) {
    return QStringLiteral("共有:") + QString::number(ji_ge - 1) + QStringLiteral("组");
}

QString sheets_caption(int ji_ge) {
    return QStringLiteral("结束页数:") + QString::number(sheet_count(ji_ge)) + QStringLiteral("页");
}

PrintAnswer validate_print_options(bool range_selected, const QString& first, const QString& last, int ji_ge) {
    return range_selected ? print_range(first, last, ji_ge) : print_all(ji_ge);
}

} // namespace tessaro
