// Where saving and printing take the text line of one record slot from.
#pragma once

#include <QString>

#include <functional>

class QLocale;

namespace tessaro {

struct RecordStore;

// The line of one slot, as the record formatter writes it.
using LineOf = std::function<QString(int slot)>;

// The line of slot s; a slot outside the store gives the empty-slot line and is never formatted.
QString line_for_slot(const LineOf& line_of, int slot);

// The record formatter's lines of a store; the store must outlive the result.
LineOf record_lines(const RecordStore& store, const QLocale& locale);

} // namespace tessaro
