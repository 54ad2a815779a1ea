#include "line_source.h"

#include "records/record_format.h"
#include "records/record_store.h"

#include <QLocale>

namespace tessaro {

namespace {
const QString kEmptySlotLine = QStringLiteral("    ");
}

QString line_for_slot(const LineOf& line_of, int slot) {
    if (slot < 0 || slot >= kSlots || !line_of) return kEmptySlotLine;
    return line_of(slot);
}

LineOf record_lines(const RecordStore& store, const QLocale& locale) {
    return [&store, locale](int slot) { return format_record_text(store, slot, locale); };
}

} // namespace tessaro
