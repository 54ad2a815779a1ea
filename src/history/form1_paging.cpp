// The history table on screen: formatting a slot, showing a page, Up, Down and Go to.
#include "app/form1.h"

#include "history/history_rules.h"
#include "platform/user_seam.h"
#include "records/record_format.h"

#include <QLineEdit>
#include <QLocale>

#include <algorithm>
#include <limits>

namespace tessaro {

namespace {
void page_message(Form1* form, const char* text) {
    user_seam().message(form, MessageRequest{QString::fromLatin1(text), QStringLiteral("System prompt"), false,
                                             false, MessageIcon::None});
}
} // namespace

void Form1::format_record(int16_t page, int16_t row) {
    // The system locale unless a default is set: the same as the report and the printout.
    tessaro::format_record(*this, page, row, QLocale());
}

void Form1::show_page(int16_t page_number) {
    cur_page = static_cast<int16_t>(std::max(int{page_number} - 1, int{std::numeric_limits<int16_t>::min()}));
    for (int16_t r = 0; r < kRowsPerPage; ++r) {
        format_record(cur_page, r);
        text_box(r + 1)->setText(rec_text);
    }
}

void Form1::write_page_status(int page_number) {
    count_records();
    Text41->setText(page_status(page_number, page_count, ji_ge));
}

void Form1::Command3_Click() {
    const PageMove move = up_target(cur_page);
    if (move.message) page_message(this, "First Page");
    write_page_status(move.page);
    show_page(static_cast<int16_t>(move.page));
}

void Form1::Command4_Click() {
    count_records();
    const PageMove move = down_target(cur_page, page_count);
    if (move.message) page_message(this, "Last Page");
    write_page_status(move.page);
    show_page(static_cast<int16_t>(move.page));
}

void Form1::Command8_Click() {
    count_records();
    const GotoResult go = goto_target(Text27->text(), page_count);
    Text27->setText(go.text);
    // A number that names no page keeps the page on show; the status is still recounted.
    const int page = go.page ? *go.page : cur_page + 1;
    write_page_status(page);
    show_page(static_cast<int16_t>(std::clamp(page, int{std::numeric_limits<int16_t>::min()},
                                              int{std::numeric_limits<int16_t>::max()})));
}

} // namespace tessaro
