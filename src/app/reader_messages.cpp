// Qt's messages on standard error, less the ones a screen reader's lag makes by the row.
#include "reader_messages.h"

namespace tessaro {

namespace {

// Qt's handler before the filter; a message handler is the process's own, as this one is.
QtMessageHandler& next_handler() {
    static QtMessageHandler next = nullptr;
    return next;
}

void filter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && is_stale_reader_message(text)) return;
    if (QtMessageHandler next = next_handler()) next(type, context, text);
}

} // namespace

bool is_stale_reader_message(const QString& text) {
    // Qt's accessible table, asked through the accessibility bus for a cell number or a row and
    // column that no longer exist, warns once for each cell asked for.
    return text.startsWith(QLatin1String("QAccessibleTable::child: Invalid index at:")) ||
           text.startsWith(QLatin1String("QAccessibleTable::cellAt: invalid index:"));
}

void filter_stale_reader_messages() {
    if (!next_handler()) next_handler() = qInstallMessageHandler(filter);
}

} // namespace tessaro
