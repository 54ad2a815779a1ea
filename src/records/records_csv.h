// The records file: the record store as CSV (written, read back and checked), without widgets.
#pragma once

#include "record_store.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <variant>
#include <vector>

namespace tessaro {

// The most records a file may bring: the most a download stores (slots 0..4600, since it
// keeps the record after the meter's count of at most 4600), so every exported file opens.
inline constexpr int kMaxFileRecords = 4601;

// The largest records file: the header and the most records, each line given 4 KiB, room for a
// spreadsheet's quotes and notes in further columns (ours are under 100 bytes a line). Reading
// stops here, so a huge file or a line of millions of separators costs no more memory than this.
inline constexpr qint64 kMaxRecordsFileBytes = qint64(kMaxFileRecords + 1) * 4096;

// One record as the file holds it: everything the store keeps of it.
struct FileRecord {
    int number = 0;                  // record number, 1..kMaxRecordNumber
    int count = 0;                   // reading in counts, 0..32767
    uint8_t range = 0;               // range code, 1..255
    uint8_t mark = 0;                // 0 or 1
    std::array<uint8_t, 5> date{};   // year (two digits), month, day, hour, minute as stored
    bool operator==(const FileRecord&) const = default;
};

// Record numbers up to this are held exactly by the store's float.
inline constexpr int kMaxRecordNumber = 16777216;

// The header line's column names, in order.
inline constexpr std::array<const char*, 12> kRecordsCsvColumns{
    "record", "time", "current_a", "shown", "count", "range_code",
    "mark",   "year", "month",     "day",   "hour",  "minute"};

// The current in amperes as an exact decimal ("0.0123" for 123 counts in range 0x41);
// empty for a count the table shows as OL and for a range code without a unit.
QString record_amperes(int count, uint8_t range);

// The meter's time as "YYYY-MM-DDTHH:MM"; empty when the fields form no date or time of day.
QString record_iso_time(int year, int month, int day, int hour, int minute);

// The record of occupied slot s.
FileRecord file_record(const RecordStore& store, int s);

// One CSV line (ending in CR LF) of a record.
QByteArray records_csv_line(const FileRecord& record);

// The same record as one compact JSON object and a line feed, with the CSV's column names;
// time and current_a are null where the CSV leaves them empty.
QByteArray records_json_line(const FileRecord& record);

// The whole file: the header and every occupied slot in slot order, UTF-8, CR LF lines.
QByteArray records_csv(const RecordStore& store);
// The same from a list of records (the command-line download has no store).
QByteArray records_csv(const std::vector<FileRecord>& records);

// Why a file is refused.
enum class CsvError {
    Empty,          // no header: no bytes, or nothing but a byte-order mark and blank lines
    NotUtf8,
    BadHeader,      // the first line does not name the columns
    BadQuoting,     // a quote inside an unquoted field, or a quoted field never closed
    LineBreak,      // a line break inside a quoted field of the known columns (allowed in further ones)
    MissingFields,  // fewer fields than the known columns
    BadNumber,      // a record number that is not a whole number 1..16777216
    BadCount,       // not a whole number 0..32767
    BadRange,       // not a whole number 1..255
    BadMark,        // not 0 or 1
    BadDateByte,    // a date or time byte that is not a whole number 0..255
    TooManyRecords, // more records than a download can store
};

struct CsvRefusal {
    int line = 0; // 1-based line of the file; 0 when the whole file is meant
    CsvError error = CsvError::Empty;
    char separator = ','; // the field separator the file was read with (';' for semicolon CSV)
    bool operator==(const CsvRefusal&) const = default;
};

// The operator's text of a refusal ("Line 7: the count is not a whole number from 0 to 32767.").
// Where the columns do not fit, it says when the file was read as semicolon CSV.
QString csv_refusal_text(const CsvRefusal& refusal);

// Reads a records file, whole or not at all. Accepts comma or semicolon CSV (the header line
// tells which; semicolons are the default of spreadsheets in locales with a decimal comma, whose
// "0,0123" then stands in a derived column), LF, CR LF and CR CR LF lines, quoted fields
// (with line breaks inside, as spreadsheets write them, in the columns after the known ones),
// a byte-order mark, blank lines anywhere (also lines of bare separators, as a spreadsheet writes
// emptied rows) and columns after the known ones. The time, current and shown columns are derived
// from the others and are not read (a spreadsheet may have rewritten them). The first refusal
// stops the reading; memory stays bounded by the most records a file may hold.
std::variant<std::vector<FileRecord>, CsvRefusal> read_records_csv(const QByteArray& bytes);

// Replaces the store's records with the file's, in its order from slot 0, and recounts.
void load_records(RecordStore& store, const std::vector<FileRecord>& records);

// One RFC 4180 field: quoted when it holds a comma, a quote, CR or LF (quotes doubled).
QByteArray csv_field(const QString& text);

} // namespace tessaro
