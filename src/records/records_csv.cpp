// Writing the record store as CSV and reading such a file back, with the reason for a refusal.
#include "records_csv.h"

#include "number_text.h"
#include "record_format.h"

#include <QByteArrayView>
#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTime>

#include <cmath>
#include <optional>

namespace tessaro {

namespace {

constexpr int kMaxCount = 32767;
constexpr int kKnownColumns = static_cast<int>(kRecordsCsvColumns.size());
// The table shows these counts as OL whatever the range (both bounds excluded).
constexpr int kOverloadLow = 3700;
constexpr int kOverloadHigh = 4800;

bool table_overload(int count) { return count > kOverloadLow && count < kOverloadHigh; }

// Decimal places from counts to amperes; nullopt for a code without a unit.
std::optional<int> ampere_decimals(uint8_t range) {
    switch (range) {
    case 0x30: return 0;
    case 0x31: return 1;
    case 0x32: return 2;
    case 0x33: return 3;
    case 0x40: return 3;
    case 0x41: return 4;
    case 0x42: return 5;
    case 0x43: return 6;
    default: return std::nullopt;
    }
}

QString shown_text(const FileRecord& r) {
    if (table_overload(r.count)) return QStringLiteral("OL");
    QString unit;
    const QString value = value_text(r.count, r.range, &unit);
    return value + unit;
}

// Known fields longer than this hold no valid value; only so much of each is kept.
constexpr qsizetype kMaxFieldBytes = 64;

// One record (a line, or more when a quoted field holds line breaks): its first fields, cut at
// kMaxFieldBytes + 1 bytes, and how many fields it has. Further columns are counted, not kept,
// so a line of a million separators takes no more memory than a short one.
struct CsvRow {
    int line = 0;        // the line it starts on
    std::array<QByteArray, kKnownColumns> fields;
    qsizetype count = 0; // fields in the row
    bool blank = true;   // every field unquoted and nothing but blanks (an empty or emptied line)
    bool known_break = false; // a line break inside a quoted field of the known columns
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Cuts UTF-8 bytes into rows. A line ends at LF, CR LF, CR CR LF (some converters double the CR)
// or a lone CR; the text is known to be valid UTF-8, so a byte-wise split never cuts a character.
class RowReader {
public:
    RowReader(QByteArrayView bytes, char separator) : b_(bytes), sep_(separator) {}

    // The next row into row; false at the end of the bytes or on a refusal (then refusal() is set).
    bool next(CsvRow& row) {
        if (i_ >= b_.size() || refusal_) return false;
        row.line = line_;
        row.count = 0;
        row.blank = true;
        row.known_break = false;
        for (QByteArray& f : row.fields) f.resize(0);
        for (;;) {
            QByteArray* keep = row.count < kKnownColumns ? &row.fields[static_cast<size_t>(row.count)] : nullptr;
            ++row.count;
            if (i_ < b_.size() && b_[i_] == '"') {
                row.blank = false;
                if (!quoted_field(keep, row)) return false;
            } else {
                for (; i_ < b_.size() && !ends_field(b_[i_]); ++i_) {
                    const char c = b_[i_];
                    if (c == '"') return refuse(line_);
                    if (!is_blank(c)) row.blank = false;
                    if (keep && keep->size() <= kMaxFieldBytes) keep->append(c);
                }
            }
            if (i_ < b_.size() && b_[i_] == sep_) {
                ++i_;
                continue;
            }
            if (i_ < b_.size()) skip_line_end();
            return true;
        }
    }

    const std::optional<CsvRefusal>& refusal() const { return refusal_; }
    char separator() const { return sep_; }

private:
    bool ends_field(char c) const { return c == sep_ || c == '\r' || c == '\n'; }

    bool refuse(int line) {
        refusal_ = CsvRefusal{line, CsvError::BadQuoting, sep_};
        return false;
    }

    // At a CR or LF: past the line end, counting the line.
    void skip_line_end() {
        qsizetype j = i_;
        while (j < b_.size() && b_[j] == '\r') ++j;
        i_ = j < b_.size() && b_[j] == '\n' ? j + 1 : j;
        ++line_;
    }

    // At the opening quote: the field up to its closing quote, quotes doubled inside.
    bool quoted_field(QByteArray* keep, CsvRow& row) {
        ++i_;
        for (;;) {
            if (i_ >= b_.size()) return refuse(row.line);
            const char c = b_[i_];
            if (c == '"') {
                if (i_ + 1 < b_.size() && b_[i_ + 1] == '"') {
                    if (keep && keep->size() <= kMaxFieldBytes) keep->append('"');
                    i_ += 2;
                    continue;
                }
                ++i_;
                break;
            }
            if (c == '\r' || c == '\n') {
                // A line break inside the quotes belongs to the field; the lines are still counted.
                // Only further columns (a spreadsheet's notes) may hold one.
                if (keep) row.known_break = true;
                skip_line_end();
                continue;
            }
            if (keep && keep->size() <= kMaxFieldBytes) keep->append(c);
            ++i_;
        }
        // Only the separator, the line end or the end may follow a closing quote.
        if (i_ < b_.size() && !ends_field(b_[i_])) return refuse(line_);
        return true;
    }

    QByteArrayView b_;
    char sep_;
    qsizetype i_ = 0;
    int line_ = 1;
    std::optional<CsvRefusal> refusal_;
};

// A whole number written in plain digits (blanks around it allowed), within lo..hi.
std::optional<int> whole_number(const QByteArray& field, int lo, int hi) {
    const QString t = QString::fromUtf8(field).trimmed();
    if (t.isEmpty() || t.size() > 9) return std::nullopt;
    int v = 0;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

bool header_matches(const CsvRow& row) {
    if (row.count < kKnownColumns) return false;
    for (size_t k = 0; k < kRecordsCsvColumns.size(); ++k)
        if (row.fields[k].trimmed().compare(kRecordsCsvColumns[k], Qt::CaseInsensitive) != 0) return false;
    return true;
}

std::variant<FileRecord, CsvError> parse_record(const CsvRow& row) {
    if (row.count < kKnownColumns) return CsvError::MissingFields;
    const auto& f = row.fields;
    FileRecord r;
    const auto number = whole_number(f[0], 1, kMaxRecordNumber);
    if (!number) return CsvError::BadNumber;
    const auto count = whole_number(f[4], 0, kMaxCount);
    if (!count) return CsvError::BadCount;
    const auto range = whole_number(f[5], 1, 255);
    if (!range) return CsvError::BadRange;
    const auto mark = whole_number(f[6], 0, 1);
    if (!mark) return CsvError::BadMark;
    for (int k = 0; k < 5; ++k) {
        const auto byte = whole_number(f[static_cast<size_t>(7 + k)], 0, 255);
        if (!byte) return CsvError::BadDateByte;
        r.date[static_cast<size_t>(k)] = static_cast<uint8_t>(*byte);
    }
    r.number = *number;
    r.count = *count;
    r.range = static_cast<uint8_t>(*range);
    r.mark = static_cast<uint8_t>(*mark);
    return r;
}

// The first line that is not blank, read as the header with the reader's separator.
struct HeaderLook {
    enum What { Found, NoRows, Other } what = NoRows;
    CsvRefusal refusal;   // for Other: why the line is no header
    qsizetype fields = 0; // for Other: how many fields the separator cut the line into
};

HeaderLook look_for_header(RowReader& reader, CsvRow& row) {
    const char sep = reader.separator();
    while (reader.next(row)) {
        if (row.blank) continue;
        // Refused even where trimming would pass it ("count\n"): a name split over lines is no name.
        if (row.known_break) return {HeaderLook::Other, CsvRefusal{row.line, CsvError::LineBreak, sep}, row.count};
        if (header_matches(row)) return {HeaderLook::Found, {}, row.count};
        return {HeaderLook::Other, CsvRefusal{row.line, CsvError::BadHeader, sep}, row.count};
    }
    if (reader.refusal()) return {HeaderLook::Other, *reader.refusal(), 0};
    return {};
}

} // namespace

QString record_amperes(int count, uint8_t range) {
    const auto decimals = ampere_decimals(range);
    if (!decimals || table_overload(count)) return {};
    return QString::fromStdString(exact_decimal(count, *decimals));
}

QString record_iso_time(int year, int month, int day, int hour, int minute) {
    if (year < 0 || year > 99) return {};
    const QDate date(full_year(year), month, day);
    const QTime time(hour, minute);
    if (!date.isValid() || !time.isValid()) return {};
    return date.toString(QStringLiteral("yyyy-MM-dd")) + u'T' + time.toString(QStringLiteral("HH:mm"));
}

FileRecord file_record(const RecordStore& store, int s) {
    const auto i = static_cast<size_t>(s);
    FileRecord r;
    r.number = static_cast<int>(nearest(store.rec_no[i]));
    r.count = static_cast<int>(nearest(store.rec_value[i]));
    r.range = store.rec_range[i];
    r.mark = store.rec_mark[i] != 0 ? 1 : 0;
    for (size_t k = 0; k < 5; ++k) r.date[k] = static_cast<uint8_t>(store.rec_time[5 * i + k]);
    return r;
}

QByteArray csv_field(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
        return bytes;
    QByteArray quoted = bytes;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray records_csv_line(const FileRecord& r) {
    const auto& d = r.date;
    QByteArray line;
    line += QByteArray::number(r.number) + ',';
    line += record_iso_time(d[0], d[1], d[2], d[3], d[4]).toLatin1() + ',';
    line += record_amperes(r.count, r.range).toLatin1() + ',';
    line += csv_field(shown_text(r)) + ',';
    line += QByteArray::number(r.count) + ',' + QByteArray::number(r.range) + ',' + QByteArray::number(r.mark);
    for (const uint8_t b : d) line += ',' + QByteArray::number(b);
    line += "\r\n";
    return line;
}

QByteArray records_json_line(const FileRecord& r) {
    const auto& d = r.date;
    const QString time = record_iso_time(d[0], d[1], d[2], d[3], d[4]);
    const QString amperes = record_amperes(r.count, r.range);
    const QJsonObject o{
        {"record", r.number},
        {"time", time.isEmpty() ? QJsonValue() : QJsonValue(time)},
        {"current_a", amperes.isEmpty() ? QJsonValue() : QJsonValue(amperes.toDouble())},
        {"shown", shown_text(r)},
        {"count", r.count},
        {"range_code", r.range},
        {"mark", r.mark},
        {"year", d[0]},
        {"month", d[1]},
        {"day", d[2]},
        {"hour", d[3]},
        {"minute", d[4]},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

namespace {
QByteArray header_line() {
    QByteArray line;
    for (const char* name : kRecordsCsvColumns) {
        if (!line.isEmpty()) line += ',';
        line += name;
    }
    return line + "\r\n";
}
} // namespace

QByteArray records_csv(const std::vector<FileRecord>& records) {
    QByteArray out = header_line();
    for (const FileRecord& r : records) out += records_csv_line(r);
    return out;
}

QByteArray records_csv(const RecordStore& store) {
    QByteArray out = header_line();
    for (int s = 0; s < kSlots; ++s)
        if (store.occupied(s)) out += records_csv_line(file_record(store, s));
    return out;
}

QString csv_refusal_text(const CsvRefusal& refusal) {
    const bool semicolons = refusal.separator == ';';
    QString reason;
    switch (refusal.error) {
    case CsvError::Empty: reason = QStringLiteral("the file is empty."); break;
    case CsvError::NotUtf8: reason = QStringLiteral("the file is not UTF-8 text."); break;
    case CsvError::BadHeader:
        reason = semicolons ? QStringLiteral("the header, read as fields separated by semicolons, does not name the "
                                             "columns of a records file.")
                            : QStringLiteral("the header does not name the columns of a records file.");
        break;
    case CsvError::BadQuoting: reason = QStringLiteral("a quote is misplaced or never closed."); break;
    case CsvError::LineBreak:
        reason = QStringLiteral("a field of the first %1 columns holds a line break.").arg(kKnownColumns);
        break;
    case CsvError::MissingFields:
        reason = semicolons ? QStringLiteral("the line has fewer than %1 fields separated by semicolons.").arg(kKnownColumns)
                            : QStringLiteral("the line has fewer than %1 fields.").arg(kKnownColumns);
        break;
    case CsvError::BadNumber:
        reason = QStringLiteral("the record number is not a whole number from 1 to %1.").arg(kMaxRecordNumber);
        break;
    case CsvError::BadCount: reason = QStringLiteral("the count is not a whole number from 0 to 32767."); break;
    case CsvError::BadRange: reason = QStringLiteral("the range code is not a whole number from 1 to 255."); break;
    case CsvError::BadMark: reason = QStringLiteral("the mark is not 0 or 1."); break;
    case CsvError::BadDateByte:
        reason = QStringLiteral("a date or time field is not a whole number from 0 to 255.");
        break;
    case CsvError::TooManyRecords:
        reason = QStringLiteral("the file holds more than %1 records.").arg(kMaxFileRecords);
        break;
    }
    if (refusal.line <= 0) return QStringLiteral("The file cannot be opened: ") + reason;
    return QStringLiteral("Line %1: ").arg(refusal.line) + reason;
}

std::variant<std::vector<FileRecord>, CsvRefusal> read_records_csv(const QByteArray& bytes) {
    if (bytes.isEmpty()) return CsvRefusal{0, CsvError::Empty};
    // Checked whole without decoding: the rows are cut from the bytes themselves.
    if (!QByteArrayView(bytes).isValidUtf8()) return CsvRefusal{0, CsvError::NotUtf8};
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF")) text = text.sliced(3);

    // Comma CSV, or else semicolon CSV: the separator that makes the header fit is the file's.
    CsvRow row;
    RowReader reader(text, ',');
    const HeaderLook comma = look_for_header(reader, row);
    if (comma.what != HeaderLook::Found) {
        RowReader semicolon(text, ';');
        const HeaderLook semi = look_for_header(semicolon, row);
        if (semi.what != HeaderLook::Found) {
            if (comma.what == HeaderLook::NoRows || semi.what == HeaderLook::NoRows) return CsvRefusal{0, CsvError::Empty};
            // Neither fits: the reason is told for the separator that cut the line into more fields.
            return semi.fields > comma.fields ? semi.refusal : comma.refusal;
        }
        reader = semicolon;
    }

    std::vector<FileRecord> records;
    const char sep = reader.separator();
    // Rows are checked as they come: a refusal stops the reading at its line, and no more than
    // one record past the most a file may hold is ever looked at.
    while (reader.next(row)) {
        if (row.blank) continue;
        if (row.known_break) return CsvRefusal{row.line, CsvError::LineBreak, sep};
        if (static_cast<int>(records.size()) == kMaxFileRecords) return CsvRefusal{row.line, CsvError::TooManyRecords, sep};
        auto parsed = parse_record(row);
        if (const auto* error = std::get_if<CsvError>(&parsed)) return CsvRefusal{row.line, *error, sep};
        records.push_back(std::get<FileRecord>(parsed));
    }
    if (reader.refusal()) return *reader.refusal();
    return records;
}

void load_records(RecordStore& store, const std::vector<FileRecord>& records) {
    store.clear_records();
    const size_t n = std::min(records.size(), static_cast<size_t>(kMaxFileRecords));
    for (size_t s = 0; s < n; ++s) {
        const FileRecord& r = records[s];
        store.rec_mark[s] = r.mark;
        store.rec_value[s] = static_cast<float>(r.count);
        store.rec_range[s] = r.range;
        for (size_t k = 0; k < 5; ++k) store.rec_time[5 * s + k] = r.date[k];
        store.rec_no[s] = static_cast<float>(r.number);
    }
    store.count_records();
}

} // namespace tessaro
