#include "line_source.h"

#include "records/record_store.h"

namespace tessaro {

namespace {
const QString kEmptySlotLine = QStringLiteral("    ");
}

QString line_for_slot(const LineOf& line_of, int slot) {
    if (slot < 0 || slot >= kSlots || !line_of) return kEmptySlotLine;
    return line_of(slot);
}

} // namespace tessaro
