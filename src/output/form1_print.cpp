// Print: the print options window, the reload of the main window and the printed sheets.
#include "app/form1.h"

#include "output/form3.h"
#include "output/line_source.h"
#include "output/print_options.h"
#include "output/print_sheets.h"
#include "platform/user_seam.h"

#include <QEventLoop>
#include <QLocale>
#include <QPointer>
#include <QPrinter>

#include <memory>

namespace tessaro {

void Form1::Command16_Click() {
    if (sorting || quitting) return;

    // The options window needs the record count; it is its own top-level window, since this
    // one is hidden while it is open.
    dayinlin = kPrintAnswerNone; // only this window's answer ends the wait
    count_records();
    auto options = std::make_unique<Form3>(ji_ge);
    QEventLoop wait;
    connect(options.get(), &Form3::answered, this, [this, &wait](int answer, int first, int last) {
        dakai = static_cast<int16_t>(first);
        dajie = static_cast<int16_t>(last);
        dayinlin = static_cast<uint8_t>(answer);
        // The answer brings the main window back, with its start-up, before any printer dialog.
        if (!quitting) show_loaded();
        wait.quit();
    });
    options->show();

    unload_form();
    dl_unfinished = false; // the port is closed: a download in progress is not resumed
    count_records();

    // Every way of closing the options window answers; Exit ends the wait through quitting.
    // A loop that cannot run (the application is already leaving) returns at once: never spin.
    while (dayinlin == kPrintAnswerNone && !quitting && options->isVisible())
        if (wait.exec() != 0) break;
    options->disconnect(this);
    options.reset();
    if (quitting) return;
    if (dayinlin == kPrintAnswerNone) {
        // Not answered (cannot happen through the window itself): never leave the window unloaded.
        show_loaded();
    }

    if (dayinlin == kPrintAnswerPrint) {
        dayinlin = kPrintAnswerNone;
        QPrinter printer;
        const bool accepted = user_seam().print_setup(this, printer);
        if (quitting) return;
        if (accepted) {
            count_records();
            const std::optional<QString> failure =
                print_sheets(printer, dakai, dajie, record_lines(*this, QLocale()), print_font());
            if (failure) {
                MessageRequest message;
                message.title = QStringLiteral("System prompt");
                message.text = QStringLiteral("Printing failed.\n%1").arg(*failure);
                message.icon = MessageIcon::Warning;
                user_seam().message(this, message);
                if (quitting) return;
            }
        }
    }
    if (dayinlin == kPrintAnswerCancel) dayinlin = kPrintAnswerNone;

    Command9_Click();
    show_page(1);
}

} // namespace tessaro
