// The rules of the print options window: the sheet count and the check of a print range.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace tessaro {

inline constexpr int kRecordsPerSheet = 156;

// The answers to the print request (dayinlin).
inline constexpr uint8_t kPrintAnswerNone = 0;
inline constexpr uint8_t kPrintAnswerCancel = 9;
inline constexpr uint8_t kPrintAnswerPrint = 10;

// Sheets needed for ji_ge (records + 1) at 156 records a sheet.
int sheet_count(int ji_ge);
// The texts Label1 and Label3 show for ji_ge.
QString records_caption(int ji_ge);
QString sheets_caption(int ji_ge);

// What the print button does with the entries: the messages to show (titled "系统提示",
// OK only) in order, and the answer when the window closes.
struct PrintAnswer {
    QStringList messages;
    bool closes = false;
    uint8_t dayinlin = kPrintAnswerNone;  // print or cancel when it closes
    int16_t dakai = 0;                    // first sheet, from 0
    int16_t dajie = 0;                    // last sheet, from 1
    std::optional<QString> corrected_last; // the new text of Text2, when it changes
};

// range_selected: Option1 ("自定义") rather than Option2 ("全部"); first and last are the
// texts of Text1 and Text2.
PrintAnswer validate_print_options(bool range_selected, const QString& first, const QString& last, int ji_ge);

} // namespace tessaro
