// The live log: starting and stopping a recording, one line per accepted live reading, its flushes.
#include "app/form1.h"

#include "link/alarm_rules.h"
#include "link/live_log.h"
#include "link/live_reading.h"
#include "platform/paths.h"
#include "platform/user_seam.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>

namespace tessaro {

namespace {

MessageRequest warning(const QString& text) { return system_prompt_warning(text); }

MessageRequest stopped(const QString& name, const QString& reason) {
    return warning(QStringLiteral("Recording to \"%1\" stopped.\n%2").arg(QDir::toNativeSeparators(name), reason));
}

MessageRequest restarted(const QString& name) {
    return warning(QStringLiteral("The file \"%1\" was deleted or replaced while recording.\n"
                                  "Recording goes on in the file now under that name.")
                       .arg(QDir::toNativeSeparators(name)));
}

} // namespace

void Form1::start_recording() {
    if (quitting || live_log.is_open()) return;
    SaveRequest request;
    request.folder = paths::save_folder();
    request.file_name = QStringLiteral("live.csv");
    request.filter = QStringLiteral("*.csv");
    request.default_suffix = QStringLiteral("csv");
    // An existing log is continued, never replaced.
    request.confirm_overwrite = false;
    const QString chosen = user_seam().save_file(this, request);
    if (chosen.isEmpty() || quitting || live_log.is_open()) return;
    const QString name = with_default_suffix(chosen, request.default_suffix);
    if (const auto failure = live_log.open(name)) {
        user_seam().message(this, warning(QStringLiteral("Recording to \"%1\" could not start.\n%2")
                                              .arg(QDir::toNativeSeparators(name), *failure)));
    }
    show_recording_state();
}

void Form1::stop_recording() {
    if (!live_log.is_open()) return;
    const QString name = live_log.path();
    const auto failure = live_log.close();
    show_recording_state();
    if (failure && !quitting) {
        user_seam().message(this, warning(QStringLiteral("The last readings of \"%1\" may not have reached the disk.\n%2")
                                              .arg(QDir::toNativeSeparators(name), *failure)));
    }
}

LiveLogReading Form1::live_log_reading(const LiveFrame& frame) const {
    LiveLogReading reading;
    reading.time = QDateTime::currentDateTime();
    reading.count = frame.count;
    reading.range = frame.range;
    reading.low_batt = frame.low_batt;
    if (lock_on != kLockOn || alarm_unit == kAlarmUnitNone || !alarm_limit_exact)
        reading.alarm = AlarmState::NotLocked;
    else
        reading.alarm = alarm_hit == kAlarmHit ? AlarmState::Alarm : AlarmState::Normal;
    return reading;
}

void Form1::log_live_reading(const LiveLogReading& reading) {
    if (!live_log.is_open()) return;
    const QString name = live_log.path();
    const auto failure = live_log.append(live_log_line(reading));
    show_recording_state();
    std::optional<MessageRequest> message;
    if (failure) message = stopped(name, *failure);
    else if (live_log.take_restarted()) message = restarted(name);
    if (!message) return;
    // Told once the frame handler has finished: the box's own event loop must not run inside it.
    QMetaObject::invokeMethod(
        this, [this, message = *message] {
            if (!quitting) user_seam().message(this, message);
        },
        Qt::QueuedConnection);
}

void Form1::sync_live_log() {
    if (!live_log.is_open()) return;
    const QString name = live_log.path();
    const auto failure = live_log.sync_if_due();
    if (!failure && !live_log.take_restarted()) return;
    show_recording_state();
    user_seam().message(this, failure ? stopped(name, *failure) : restarted(name));
}

void Form1::show_recording_state() {
    const bool on = live_log.is_open();
    record_action->setEnabled(!on);
    stop_record_action->setEnabled(on);
    QStringList tips;
    if (on) tips << QStringLiteral("Recording to %1: %2 readings").arg(QDir::toNativeSeparators(live_log.path())).arg(live_log.readings());
    if (const QString publishing = publishing_tip(); !publishing.isEmpty()) tips << publishing;
    const QString tip = tips.join(u'\n');
    if (Text29->toolTip() != tip) {
        Text29->setToolTip(tip);
        Text40->setToolTip(tip);
    }
}

} // namespace tessaro
