#include "record_format.h"

#include "number_text.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QTime>

#include <cmath>
#include <string_view>
#include <utility>
#include <limits>

namespace tessaro {

namespace {

const QString kBlankLine = QStringLiteral("    ");
const QString kOverload = QStringLiteral("   OL    ");
const QString kMark = QStringLiteral("       \u25A0 ");

// One piece of a date or time format: a field letter repeated `count` times, or literal
// text. `raw` is the piece as written in the format (quotes included).
struct FormatToken {
    QChar field;
    int count = 0;
    QString raw;
    QString text;
};

bool is_field_letter(QChar c) {
    return QStringView(u"dMyhHmszaAt").contains(c);
}

// Reads a literal quoted with single quotes starting at f[i]; '' stands for one quote.
qsizetype read_quoted(const QString& f, qsizetype i, QString* text) {
    if (i + 1 < f.size() && f[i + 1] == u'\'') {
        *text = QStringLiteral("'");
        return i + 2;
    }
    qsizetype j = i + 1;
    while (j < f.size()) {
        if (f[j] == u'\'') {
            if (j + 1 < f.size() && f[j + 1] == u'\'') {
                *text += u'\'';
                j += 2;
                continue;
            }
            return j + 1;
        }
        *text += f[j++];
    }
    return j;
}

QList<FormatToken> tokenize(const QString& f) {
    QList<FormatToken> out;
    auto add_literal = [&out](const QString& raw, const QString& text) {
        if (!out.isEmpty() && out.back().field.isNull()) {
            out.back().raw += raw;
            out.back().text += text;
        } else {
            out.append(FormatToken{QChar(), 0, raw, text});
        }
    };
    qsizetype i = 0;
    while (i < f.size()) {
        const QChar c = f[i];
        if (c == u'\'') {
            QString text;
            const qsizetype end = read_quoted(f, i, &text);
            add_literal(f.mid(i, end - i), text);
            i = end;
        } else if (is_field_letter(c)) {
            qsizetype j = i + 1;
            if (c == u'a' || c == u'A') {
                if (j < f.size() && (f[j] == u'p' || f[j] == u'P')) ++j;
            } else {
                while (j < f.size() && f[j] == c) ++j;
            }
            out.append(FormatToken{c, static_cast<int>(j - i), f.mid(i, j - i), {}});
            i = j;
        } else {
            add_literal(QString(c), QString(c));
            ++i;
        }
    }
    return out;
}

void chop_trailing_blanks(QString& s) {
    while (!s.isEmpty() && s.back().isSpace()) s.chop(1);
}

void chop_leading_blanks(QString& s) {
    qsizetype n = 0;
    while (n < s.size() && s[n].isSpace()) ++n;
    s.remove(0, n);
}

QString padded(int v, int width) {
    const QString t = QString::number(v);
    return v >= 0 ? t.rightJustified(width, u'0') : t;
}

struct StoredFields {
    int year;  // four-digit year
    int month;
    int day;
    int hour;
    int minute;
};

bool has_am_pm(const QList<FormatToken>& tokens) {
    for (const auto& t : tokens)
        if (t.field == u'a' || t.field == u'A') return true;
    return false;
}

// The text of one field token from the stored numbers, for fields that form no valid
// date or time, where Qt would print nothing.
QString field_text(const FormatToken& t, const StoredFields& v, bool twelve_hour, const QLocale& locale) {
    const bool hour_ok = v.hour >= 0 && v.hour <= 23;
    switch (t.field.unicode()) {
    case u'd':
        return t.count >= 3 ? QString() : padded(v.day, t.count);
    case u'M':
        if (t.count >= 3 && v.month >= 1 && v.month <= 12)
            return locale.monthName(v.month, t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        return padded(v.month, t.count >= 2 ? 2 : 1);
    case u'y':
        return t.count == 2 && v.year >= 0 ? padded(v.year % 100, 2) : padded(v.year, 4);
    case u'h':
        if (twelve_hour && hour_ok) return padded(v.hour % 12 == 0 ? 12 : v.hour % 12, t.count);
        return padded(v.hour, t.count);
    case u'H':
        return padded(v.hour, t.count);
    case u'm':
        return padded(v.minute, t.count);
    case u's':
        return padded(0, t.count);
    case u'z':
        return t.count >= 3 ? QStringLiteral("000") : QStringLiteral("0");
    case u'a':
    case u'A': {
        if (!hour_ok) return {};
        const QString s = v.hour < 12 ? locale.amText() : locale.pmText();
        return t.field == u'a' ? s.toLower() : s.toUpper();
    }
    default:
        return {};
    }
}

// Writes the stored numbers into the places of a date or time format.
QString fill_format(const QString& format, const StoredFields& v, const QLocale& locale) {
    const auto tokens = tokenize(format);
    const bool twelve_hour = has_am_pm(tokens);
    QString out;
    for (const auto& t : tokens) out += t.field.isNull() ? t.text : field_text(t, v, twelve_hour, locale);
    return out.trimmed();
}

} // namespace

QString value_text(int count, uint8_t range, QString* unit) {
    int divisor = 0;
    QString u;
    switch (range) {
    case 0x30: divisor = 1, u = QStringLiteral("A"); break;
    case 0x31: divisor = 10, u = QStringLiteral("A"); break;
    case 0x32: divisor = 100, u = QStringLiteral("A"); break;
    case 0x33: divisor = 1000, u = QStringLiteral("A"); break;
    case 0x40: divisor = 1, u = QStringLiteral("mA"); break;
    case 0x41: divisor = 10, u = QStringLiteral("mA"); break;
    case 0x42: divisor = 100, u = QStringLiteral("mA"); break;
    case 0x43: divisor = 1000, u = QStringLiteral("mA"); break;
    default: break;
    }
    if (unit) *unit = u;
    if (divisor == 0) return {};

    QString v = QString::fromStdString(base_text(count / static_cast<double>(divisor)));
    if (count > 0 && count < divisor) v.prepend(u'0');
    if (divisor == 10 && count % 10 == 0) {
        v += QStringLiteral(".0");
    } else if (divisor == 100) {
        if (count % 100 == 0)
            v += QStringLiteral(".00");
        else if (count % 10 == 0)
            v += u'0';
    }
    return v;
}

QString record_number_text(double n) {
    QString t = QString::fromStdString(base_text(n));
    if (n >= 0 && n < 10)
        t.prepend(QStringLiteral("000"));
    else if (n > 9 && n < 100)
        t.prepend(QStringLiteral("00"));
    else if (n > 99 && n < 1000)
        t.prepend(u'0');
    return t;
}

int full_year(int stored_year) {
    if (stored_year >= 0 && stored_year <= 29) return 2000 + stored_year;
    if (stored_year >= 30) return 1900 + stored_year;
    return stored_year;
}

// The closing bracket of an opening one, or a null character.
QChar closing_of(QChar open) {
    static constexpr std::u16string_view kOpen = u"([{\uFF08\u3010\uFF3B", kClose = u")]}\uFF09\u3011\uFF3D";
    const size_t at = kOpen.find(open.unicode());
    return at == std::u16string_view::npos ? QChar() : QChar(kClose[at]);
}

bool is_list_separator(QChar c) { return c == u',' || c == u'\uFF0C' || c == u'\u060C'; }

// Removes from the end of a literal what led up to the zone: blanks and a list separator.
void chop_lead_in(QString& s) {
    chop_trailing_blanks(s);
    while (!s.isEmpty() && is_list_separator(s.back())) s.chop(1);
    chop_trailing_blanks(s);
}

// Removes from the start of a literal what followed the zone: blanks and a list separator.
void chop_lead_out(QString& s) {
    chop_leading_blanks(s);
    while (!s.isEmpty() && is_list_separator(s.front())) s.remove(0, 1);
    chop_leading_blanks(s);
}

// Removes the zone token at i with what belongs to it: the brackets around it, or the blanks
// and separator that set it apart from the time.
void remove_zone(QList<FormatToken>& tokens, qsizetype i) {
    FormatToken* before = i > 0 && tokens[i - 1].field.isNull() ? &tokens[i - 1] : nullptr;
    FormatToken* after = i + 1 < tokens.size() && tokens[i + 1].field.isNull() ? &tokens[i + 1] : nullptr;
    if (before && after) {
        QString lead = before->raw, tail = after->raw;
        chop_trailing_blanks(lead);
        chop_leading_blanks(tail);
        const QChar close = lead.isEmpty() ? QChar() : closing_of(lead.back());
        if (!close.isNull() && !tail.isEmpty() && tail.front() == close) {
            lead.chop(1);
            tail.remove(0, 1);
            before->raw = lead;
            after->raw = tail;
        }
    }
    if (before)
        chop_lead_in(before->raw);
    else if (after)
        chop_lead_out(after->raw);
    tokens.removeAt(i);
}

// Unquoted ASCII letters that are no field of Qt's are fields of the locale data that Qt
// does not know and would print as they are ("B", the period of the day, in zh_TW). The
// period of the day becomes Qt's AM/PM where a 12-hour clock would otherwise lose it; any
// other such letter is dropped.
void replace_unknown_letters(QList<FormatToken>& tokens) {
    bool twelve_hour = false;
    for (const auto& t : tokens) twelve_hour |= t.field == u'h';
    bool am_pm = has_am_pm(tokens);
    for (auto& t : tokens) {
        if (!t.field.isNull()) continue;
        QString raw;
        bool quoted = false;
        for (const QChar c : std::as_const(t.raw)) {
            if (c == u'\'') quoted = !quoted;
            if (quoted || c == u'\'' || c.unicode() >= 128 || !c.isLetter()) {
                raw += c;
            } else if (c == u'B' && twelve_hour && !am_pm) {
                raw += QStringLiteral("AP");
                am_pm = true;
            }
        }
        t.raw = raw;
    }
}

QString time_format_without_zone(const QLocale& locale) {
    auto tokens = tokenize(locale.timeFormat(QLocale::LongFormat));
    for (qsizetype i = 0; i < tokens.size();) {
        if (tokens[i].field == u't')
            remove_zone(tokens, i);
        else
            ++i;
    }
    replace_unknown_letters(tokens);
    QString out;
    for (const auto& t : tokens) out += t.raw;
    return out.trimmed();
}

QString date_time_text(int year, int month, int day, int hour, int minute, const QLocale& locale) {
    const StoredFields v{full_year(year), month, day, hour, minute};
    const QString date_format = locale.dateFormat(QLocale::ShortFormat);
    const QString time_format = time_format_without_zone(locale);

    const QDate date(v.year, month, day);
    const QString date_text = year >= 0 && date.isValid() ? locale.toString(date, date_format)
                                                          : fill_format(date_format, v, locale);
    const QTime time(hour, minute, 0);
    const QString time_text = time.isValid() ? locale.toString(time, time_format)
                                             : fill_format(time_format, v, locale);
    return date_text + QStringLiteral("  ") + time_text;
}

QString format_record_text(const RecordStore& store, int slot, const QLocale& locale) {
    if (slot < 0 || slot >= kSlots) return kBlankLine;
    const auto s = static_cast<size_t>(slot);
    const uint8_t range = store.rec_range[s];
    if (range == 0) return kBlankLine;

    const double c = store.rec_value[s];
    QString line = QStringLiteral("No") + record_number_text(store.rec_no[s]);
    if (c > 3700 && c < 4800) {
        line += kOverload;
    } else {
        // Counts are whole numbers of 0..32767; anything else is shown as 0 rather than
        // overflowing the conversion.
        const double whole = nearest(c);
        const int count = std::isfinite(whole) && std::abs(whole) < 1e9 ? static_cast<int>(whole) : 0;
        QString unit;
        const QString value = value_text(count, range, &unit);
        line += u' ' + value + unit + QStringLiteral("   ");
    }
    const auto t = 5 * s;
    line += date_time_text(store.rec_time[t], store.rec_time[t + 1], store.rec_time[t + 2], store.rec_time[t + 3],
                           store.rec_time[t + 4], locale);
    if (store.rec_mark[s] != 0) line += kMark;
    return line;
}

void format_record(RecordStore& store, int page, int row, const QLocale& locale) {
    const int64_t slot = int64_t{page} * kRowsPerPage + row;
    const bool inside = slot >= 0 && slot < kSlots;
    store.rec_text = format_record_text(store, inside ? static_cast<int>(slot) : -1, locale);
}

} // namespace tessaro
