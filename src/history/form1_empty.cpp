// Empty and Restore of the record store.
#include "app/form1.h"

#include "history/history_rules.h"
#include "platform/user_seam.h"

#include <QLineEdit>
#include <QPushButton>

namespace tessaro {

void Form1::Command2_Click() {
    if (sorting) return; // the sort's event pump must not empty the store under it
    const Answer answer = user_seam().message(
        this, MessageRequest{QStringLiteral("Clearing\uFF1F"), QStringLiteral("System prompt"), true, true,
                             MessageIcon::Question});
    if (answer == Answer::Yes) {
        for (int n = 1; n <= kRowsPerPage; ++n) text_box(n)->clear();
        clear_records();
        write_page_status(cur_page + 1);
        Text42->clear();
        meter_count = 0;
        rec_addr = 257;
        link_state = 2;
        dl_session = 0;
        dl_unfinished = false; // an emptied download is not resumed
        Text33->hide();
        Text34->hide();
        // The download is over: every button it took away comes back, as at its end.
        for (QPushButton* b : {Command13, Command12, Command7, Command15, Command16}) b->setEnabled(true);
    }
    Command5->setEnabled(true);
}

void Form1::Command7_Click() {
    if (sorting || dl_unfinished) return; // a download waiting for its resume keeps the order
    count_records();
    restore_order(*this);
    show_page(1);
    write_page_status(1);
}

} // namespace tessaro
