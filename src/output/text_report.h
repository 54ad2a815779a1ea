// The text report of the history records: the table pages one after another.
#pragma once

#include "output/line_source.h"

#include <QByteArray>

namespace tessaro {

// The whole report for page_count table pages of 26 slots, CR LF after every line, UTF-8.
QByteArray report_bytes(int page_count, const LineOf& line_of);

} // namespace tessaro
