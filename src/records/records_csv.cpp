// Writing the record store as CSV and reading such a file back, with the reason for a refusal.
#include "records_csv.h"

#include "number_text.h"
#include "record_format.h"

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

// One record (a line, or more when a quoted field holds line breaks) split into fields.
struct CsvRow {
    int line = 0; // the physical line it starts on
    QStringList fields;
    bool blank = false; // an empty line
};

// Splits text into rows; a refusal for a stray or unclosed quote.
std::variant<std::vector<CsvRow>, CsvRefusal> split_rows(const QString& text, int max_rows) {
    std::vector<CsvRow> rows;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    while (i < n) {
        CsvRow row;
        row.line = line;
        QString field;
        bool any_quote = false;
        bool row_done = false;
        while (!row_done) {
            if (i < n && text[i] == u'"') {
                any_quote = true;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (text[i] == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            field += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    if (text[i] == u'\n') ++line;
                    field += text[i++];
                }
                if (!closed) return CsvRefusal{row.line, CsvError::BadQuoting};
                // Only the separator, the line end or the end may follow a closing quote.
                if (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n')
                    return CsvRefusal{line, CsvError::BadQuoting};
            } else {
                while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n') {
                    if (text[i] == u'"') return CsvRefusal{line, CsvError::BadQuoting};
                    field += text[i++];
                }
            }
            row.fields.append(field);
            field.clear();
            if (i < n && text[i] == u',') {
                ++i;
                continue;
            }
            if (i < n && text[i] == u'\r') ++i;
            if (i < n && text[i] == u'\n') ++i;
            ++line;
            row_done = true;
        }
        row.blank = !any_quote && row.fields.size() == 1 && row.fields[0].isEmpty();
        rows.push_back(std::move(row));
        if (static_cast<int>(rows.size()) > max_rows) break;
    }
    return rows;
}

// A whole number written in plain digits (blanks around it allowed), within lo..hi.
std::optional<int> whole_number(const QString& field, int lo, int hi) {
    const QString t = field.trimmed();
    if (t.isEmpty() || t.size() > 9) return std::nullopt;
    int v = 0;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

bool header_matches(const QStringList& fields) {
    if (fields.size() < kKnownColumns) return false;
    for (int k = 0; k < kKnownColumns; ++k)
        if (fields[k].trimmed().compare(QLatin1String(kRecordsCsvColumns[static_cast<size_t>(k)]), Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

std::variant<FileRecord, CsvError> parse_record(const QStringList& f) {
    if (f.size() < kKnownColumns) return CsvError::MissingFields;
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
        const auto byte = whole_number(f[7 + k], 0, 255);
        if (!byte) return CsvError::BadDateByte;
        r.date[static_cast<size_t>(k)] = static_cast<uint8_t>(*byte);
    }
    r.number = *number;
    r.count = *count;
    r.range = static_cast<uint8_t>(*range);
    r.mark = static_cast<uint8_t>(*mark);
    return r;
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
    QString reason;
    switch (refusal.error) {
    case CsvError::Empty: reason = QStringLiteral("the file is empty."); break;
    case CsvError::NotUtf8: reason = QStringLiteral("the file is not UTF-8 text."); break;
    case CsvError::BadHeader:
        reason = QStringLiteral("the header does not name the columns of a records file.");
        break;
    case CsvError::BadQuoting: reason = QStringLiteral("a quote is misplaced or never closed."); break;
    case CsvError::MissingFields:
        reason = QStringLiteral("the line has fewer than %1 fields.").arg(kKnownColumns);
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
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return CsvRefusal{0, CsvError::NotUtf8};
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);

    // The header, the records and one more to tell that there are too many.
    auto split = split_rows(text, kMaxFileRecords + 1 + 1);
    if (const auto* refusal = std::get_if<CsvRefusal>(&split)) {
        return *refusal;
    }
    const auto& rows = std::get<std::vector<CsvRow>>(split);

    std::vector<FileRecord> records;
    bool header_seen = false;
    for (const CsvRow& row : rows) {
        if (row.blank) continue;
        if (!header_seen) {
            if (!header_matches(row.fields)) return CsvRefusal{row.line, CsvError::BadHeader};
            header_seen = true;
            continue;
        }
        if (static_cast<int>(records.size()) == kMaxFileRecords) return CsvRefusal{row.line, CsvError::TooManyRecords};
        auto parsed = parse_record(row.fields);
        if (const auto* error = std::get_if<CsvError>(&parsed)) return CsvRefusal{row.line, *error};
        records.push_back(std::get<FileRecord>(parsed));
    }
    if (!header_seen) return CsvRefusal{0, CsvError::Empty};
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
