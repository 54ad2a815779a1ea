// Calendar ticks: fixed steps within each stretch of constant UTC offset, dates from local midnights.
#include "time_axis.h"

#include "recording_lines.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

namespace tessaro::trend {

namespace {

constexpr int64_t kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int offset_ms_at(const QTimeZone& zone, int64_t t) {
    return zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(t, QTimeZone::utc())) * 1000;
}

// The next instant after t at which the zone's offset changes; the far future when none.
int64_t next_change(const QTimeZone& zone, int64_t t) {
    if (!zone.hasTransitions()) return std::numeric_limits<int64_t>::max();
    const auto tr = zone.nextTransition(QDateTime::fromMSecsSinceEpoch(t, QTimeZone::utc()));
    if (!tr.atUtc.isValid()) return std::numeric_limits<int64_t>::max();
    return std::max<int64_t>(tr.atUtc.toMSecsSinceEpoch(), t + 1);
}

QString two(int64_t v) { return QString::number(v).rightJustified(2, u'0'); }

struct Local {
    int64_t year;
    unsigned month, day;
    int64_t ms_of_day;
};

Local local_of(int64_t t, int offset_ms) {
    const int64_t l = t + offset_ms;
    Local out{};
    const int64_t days = floor_div(l, kDay);
    civil_from_days(days, out.year, out.month, out.day);
    out.ms_of_day = l - days * kDay;
    return out;
}

QString date_text(const Local& l) {
    return QStringLiteral("%1-%2-%3").arg(l.year).arg(two(l.month), two(l.day));
}

QString clock_text(const Local& l, StepKind kind) {
    const int64_t h = l.ms_of_day / kHour, m = l.ms_of_day / kMinute % 60, s = l.ms_of_day / kSecond % 60;
    QString text = two(h) + u':' + two(m);
    if (kind == StepKind::Seconds || kind == StepKind::Millis) text += u':' + two(s);
    if (kind == StepKind::Millis) text += u'.' + QString::number(l.ms_of_day % kSecond).rightJustified(3, u'0');
    return text;
}

QString month_name(unsigned m) {
    static const char* const kNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return QString::fromLatin1(kNames[m - 1]);
}

// Characters of a tick label of this kind, for the spacing.
int label_chars(StepKind kind) {
    switch (kind) {
    case StepKind::Millis: return 12;
    case StepKind::Seconds: return 8;
    case StepKind::Minutes:
    case StepKind::Hours: return 5;
    case StepKind::Days:
    case StepKind::Weeks: return 6;
    case StepKind::Months: return 3;
    case StepKind::Years: return 4;
    }
    return 8;
}

// Local midnight of a date in the zone; a midnight the clock skips becomes the first instant after.
int64_t midnight(int64_t year, unsigned month, unsigned day, const QTimeZone& zone) {
    const QDate d(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    QDateTime dt(d, QTime(0, 0), zone);
    if (!dt.isValid()) dt = QDateTime(d, QTime(1, 0), zone);
    return dt.toMSecsSinceEpoch();
}

// Ticks at whole steps of wall-clock time, stretch by stretch of constant offset.
void clock_ticks(TimeAxis& axis, int64_t t0, int64_t t1, const QTimeZone& zone) {
    const int64_t step = axis.step.nominal_ms;
    for (int64_t t = t0; t <= t1;) {
        const int offset = offset_ms_at(zone, t);
        const int64_t stretch_end = std::min(next_change(zone, t), t1 + 1);
        for (int64_t u = floor_div(t + offset + step - 1, step) * step - offset; u < stretch_end; u += step)
            axis.ticks.push_back({u, clock_text(local_of(u, offset), axis.step.kind)});
        t = stretch_end;
    }
}

// Ticks at local midnights of the dates the step keeps.
void calendar_ticks(TimeAxis& axis, int64_t t0, int64_t t1, const QTimeZone& zone) {
    const StepKind kind = axis.step.kind;
    const int64_t n = axis.step.count;
    Local l = local_of(t0, offset_ms_at(zone, t0));
    int64_t day = days_from_civil(l.year, l.month, 1) - 1; // a little before t0, at a month start
    const int64_t last_day = floor_div(t1 + offset_ms_at(zone, t1), kDay) + 1;
    for (; day <= last_day; ++day) {
        int64_t y;
        unsigned m, d;
        civil_from_days(day, y, m, d);
        bool keep = false;
        switch (kind) {
        case StepKind::Days: keep = floor_div(day, n) * n == day; break;
        case StepKind::Weeks: keep = floor_div(day - 4, 7) * 7 == day - 4; break; // 1970-01-05 was a Monday
        case StepKind::Months: keep = d == 1 && (m - 1) % n == 0; break;
        case StepKind::Years: keep = d == 1 && m == 1 && floor_div(y, n) * n == y; break;
        default: break;
        }
        if (!keep) continue;
        const int64_t u = midnight(y, m, d, zone);
        if (u < t0 || u > t1) continue;
        QString label;
        if (kind == StepKind::Months)
            label = month_name(m);
        else if (kind == StepKind::Years)
            label = QString::number(y);
        else
            label = two(m) + u'-' + two(d);
        axis.ticks.push_back({u, label});
    }
}

// The zone's short name at t (CET, CEST), or its offset when it has none.
QString zone_name(const QTimeZone& zone, int64_t t) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(t, QTimeZone::utc());
    QString name = zone.abbreviation(at);
    if (name.isEmpty() || name.startsWith(u'+') || name.startsWith(u'-')) {
        const int off = zone.offsetFromUtc(at) / 60;
        name = QStringLiteral("UTC%1%2:%3").arg(off < 0 ? u'-' : u'+').arg(two(std::abs(off) / 60), two(std::abs(off) % 60));
    }
    return name;
}

void date_marks(TimeAxis& axis, int64_t t0, const QTimeZone& zone) {
    const bool day_steps = axis.step.kind >= StepKind::Days;
    if (axis.step.kind == StepKind::Years) return;
    auto text = [&](int64_t t) {
        const Local l = local_of(t, offset_ms_at(zone, t));
        return day_steps ? QString::number(l.year) : date_text(l);
    };
    QString shown = text(t0);
    int offset = offset_ms_at(zone, t0);
    axis.dates.push_back({t0, shown + (day_steps ? QString() : u' ' + zone_name(zone, t0))});
    for (const TimeTick& tick : axis.ticks) {
        const QString now = text(tick.t_ms);
        const int tick_offset = offset_ms_at(zone, tick.t_ms);
        if (now == shown && tick_offset == offset) continue;
        QString label = now;
        if (tick_offset != offset && !day_steps) label += u' ' + zone_name(zone, tick.t_ms);
        axis.dates.push_back({tick.t_ms, label});
        shown = now;
        offset = tick_offset;
    }
}

} // namespace

const std::vector<TimeStep>& time_steps() {
    static const std::vector<TimeStep> steps = [] {
        std::vector<TimeStep> s;
        for (int64_t n : {1, 2, 5, 10, 20, 50, 100, 200, 500}) s.push_back({StepKind::Millis, n, n});
        for (int64_t n : {1, 2, 5, 10, 15, 30}) s.push_back({StepKind::Seconds, n, n * kSecond});
        for (int64_t n : {1, 2, 5, 10, 15, 30}) s.push_back({StepKind::Minutes, n, n * kMinute});
        for (int64_t n : {1, 2, 3, 6, 12}) s.push_back({StepKind::Hours, n, n * kHour});
        for (int64_t n : {1, 2}) s.push_back({StepKind::Days, n, n * kDay});
        s.push_back({StepKind::Weeks, 1, 7 * kDay});
        for (int64_t n : {1, 3, 6}) s.push_back({StepKind::Months, n, n * 30 * kDay});
        for (int64_t n : {1, 2, 5, 10, 20, 50, 100}) s.push_back({StepKind::Years, n, n * 365 * kDay});
        return s;
    }();
    return steps;
}

TimeAxis time_axis(int64_t t0, int64_t t1, double width_px, double char_px, const QTimeZone& zone) {
    TimeAxis axis;
    if (t1 <= t0) t1 = t0 + 1;
    const double ms_per_px = static_cast<double>(t1 - t0) / std::max(1.0, width_px);
    axis.step = time_steps().back();
    for (const TimeStep& s : time_steps()) {
        if (static_cast<double>(s.nominal_ms) / ms_per_px >= (label_chars(s.kind) + 3) * char_px) {
            axis.step = s;
            break;
        }
    }
    if (axis.step.kind <= StepKind::Hours)
        clock_ticks(axis, t0, t1, zone);
    else
        calendar_ticks(axis, t0, t1, zone);
    date_marks(axis, t0, zone);
    return axis;
}

QString local_time_text(int64_t t_ms, const QTimeZone& zone) {
    const Local l = local_of(t_ms, offset_ms_at(zone, t_ms));
    return date_text(l) + u' ' + clock_text(l, StepKind::Millis);
}

QString duration_text(int64_t ms) {
    if (ms < kSecond) return QStringLiteral("%1 ms").arg(ms);
    if (ms < kMinute) return QStringLiteral("%1 s").arg(QString::number(static_cast<double>(ms) / kSecond, 'f', 1));
    if (ms < kHour) return QStringLiteral("%1 min %2 s").arg(ms / kMinute).arg(two(ms / kSecond % 60));
    if (ms < kDay) return QStringLiteral("%1 h %2 min").arg(ms / kHour).arg(two(ms / kMinute % 60));
    return QStringLiteral("%1 d %2 h").arg(ms / kDay).arg(two(ms / kHour % 24));
}

} // namespace tessaro::trend
