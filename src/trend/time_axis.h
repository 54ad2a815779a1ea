// The time axis of a trend: tick steps that follow the calendar of the computer's time zone.
#pragma once

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <vector>

namespace tessaro::trend {

// The kinds of step, from milliseconds to years; each kind has its own label.
enum class StepKind { Millis, Seconds, Minutes, Hours, Days, Weeks, Months, Years };

struct TimeStep {
    StepKind kind;
    int64_t count;       // of the kind's unit (ms, s, min, h, days, weeks, months, years)
    int64_t nominal_ms;  // its length on an ordinary day
};

struct TimeTick {
    int64_t t_ms;        // the instant, milliseconds since 1970 UTC
    QString label;       // the wall-clock time or date at it
};

// A date under the tick labels: at the left edge and wherever the day (or, for day steps, the
// year) changes; the zone's name where the UTC offset changes.
struct DateMark {
    int64_t t_ms;
    QString label;
};

struct TimeAxis {
    TimeStep step;
    std::vector<TimeTick> ticks;
    std::vector<DateMark> dates;
};

// The ladder of steps, shortest first.
const std::vector<TimeStep>& time_steps();

// The ticks of [t0, t1] over width_px pixels: the shortest step whose labels, char_px wide a
// character, keep apart; ticks at whole steps of local wall-clock time (days at local midnight,
// weeks on Mondays, months on the 1st), so that a daylight-saving change inside the span moves the
// ticks with the clock.
TimeAxis time_axis(int64_t t0, int64_t t1, double width_px, double char_px, const QTimeZone& zone);

// The local wall-clock time of t as "yyyy-MM-dd HH:mm:ss.zzz".
QString local_time_text(int64_t t_ms, const QTimeZone& zone);

// A span as the operator reads it: "350 ms", "12.5 s", "3 min 05 s", "2 h 03 min", "3 d 04 h".
QString duration_text(int64_t ms);

} // namespace tessaro::trend
