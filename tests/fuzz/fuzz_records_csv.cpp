// libFuzzer target of the records file reader: any bytes are read whole or refused with a line
// inside the file, and what is read writes out and reads back to the same records.
#include "records/records_csv.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tessaro;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto read = read_records_csv(bytes);
    if (const auto* refusal = std::get_if<CsvRefusal>(&read)) {
        // A line the file has (a lone CR ends a line too), and a text for it.
        const qsizetype lines = bytes.count('\n') + bytes.count('\r') + 1;
        if (refusal->line < 0 || refusal->line > lines || csv_refusal_text(*refusal).isEmpty()) std::abort();
        return 0;
    }
    const auto& records = std::get<std::vector<FileRecord>>(read);
    if (records.size() > static_cast<size_t>(kMaxFileRecords)) std::abort();
    const QByteArray written = records_csv(records);
    const auto again = read_records_csv(written);
    const auto* back = std::get_if<std::vector<FileRecord>>(&again);
    if (!back || *back != records) std::abort();
    return 0;
}
