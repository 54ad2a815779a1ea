#include "print_options.h"

#include "records/number_text.h"

namespace tessaro {

namespace {

const QString kEmptyEntry = QStringLiteral("输入错误");
const QString kNotANumber = QStringLiteral("所输入的数据类型不对");
const QString kFirstIsZero = QStringLiteral("打印开始页数不能为0");
const QString kLastIsZero = QStringLiteral("打印结束页数不能为0");

// A sheet entry as a number; one whose rounding (or, for the first sheet, the sheet before
// it) does not fit 16 bits counts as no number, so it can never wrap into another sheet.
std::optional<double> sheet_number(const QString& text, bool first) {
    const std::optional<double> value = parse_number(text.toStdString());
    if (!value || !to_int16(*value)) return std::nullopt;
    if (first && !to_int16(*value - 1.0)) return std::nullopt;
    return value;
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
    const std::optional<double> first = sheet_number(first_text, true);
    const std::optional<double> last = sheet_number(last_text, false);
    const bool first_bad = !first || *first == 0.0;
    const bool last_bad = !last || *last == 0.0;
    if (first_bad || last_bad) {
        if (!first || !last) answer.messages << kNotANumber;
        if (first_bad) answer.messages << kFirstIsZero;
        if (last_bad) answer.messages << kLastIsZero;
        return answer;
    }
    double last_sheet = *last;
    const int limit = ji_ge / kRecordsPerSheet + 1;
    if (last_sheet > limit) {
        last_sheet = limit;
        answer.corrected_last = QString::number(limit);
    }
    answer.closes = true;
    answer.dayinlin = kPrintAnswerPrint;
    answer.dajie = *to_int16(last_sheet);
    answer.dakai = *to_int16(*first - 1.0);
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
