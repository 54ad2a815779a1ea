// The alarm threshold lock, the classification of live readings and the lamp.
#include "app/form1.h"

#include "app/shape_widget.h"
#include "link/alarm_rules.h"
#include "link/mscomm.h"
#include "platform/user_seam.h"

#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

#include <charconv>

namespace tessaro {

namespace {
const QColor kLampRed{255, 0, 0};
const QColor kLampGreen{0, 192, 0};

// The shortest text that reads back as the float, so 12.3f shows as "12.3".
QString float_text(float value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, res.ptr - buf);
}
} // namespace

void Form1::unlock_alarm() {
    Command6->setText(QStringLiteral("Lock"));
    Option3->setEnabled(true);
    Option4->setEnabled(true);
    Text35->setEnabled(true);
    alarm_limit = 0.0f;
    alarm_unit = kAlarmUnitNone;
    lock_on = 0;
    lamp_phase = 0;
    alarm_hit = 0;
    alarm_limit_exact.reset();
    alarm_text.clear();
    describe_lamp();
}

void Form1::Command6_Click() {
    if (Command6->text() == QLatin1String("Unlock")) {
        unlock_alarm();
        Shape1->setColour(kLampGreen);
        return;
    }

    uint8_t unit = kAlarmUnitNone;
    if (Option3->isChecked()) unit = kAlarmUnitA;
    if (Option4->isChecked()) unit = kAlarmUnitMilliA;
    const QString entry = Text35->text();
    const LockResult result = parse_alarm_entry(entry, unit, alarm_limit);

    switch (result.kind) {
    case LockResult::NotANumber:
        user_seam().message(this, MessageRequest{QStringLiteral("Error"), QStringLiteral("System prompt")});
        Text35->clear();
        unlock_alarm();
        return;
    case LockResult::Empty:
        // Locks without a unit: nothing is classified, the lamp stays green.
        alarm_unit = kAlarmUnitNone;
        alarm_limit_exact.reset();
        alarm_text.clear();
        break;
    case LockResult::Locked:
        alarm_limit = result.alarm_limit;
        alarm_unit = unit;
        alarm_limit_exact = result.limit_hundredths;
        alarm_text = result.limit_kept ? float_text(alarm_limit) : entry;
        break;
    }
    if (alarm_unit != kAlarmUnitA && alarm_unit != kAlarmUnitMilliA) {
        alarm_unit = kAlarmUnitNone;
        alarm_limit_exact.reset();
    }

    lock_on = kLockOn;
    Command6->setText(QStringLiteral("Unlock"));
    Option3->setEnabled(false);
    Option4->setEnabled(false);
    Text35->setEnabled(false);
    describe_lamp();
}

void Form1::alarm_classify(int64_t scaled) {
    if (lock_on != kLockOn || alarm_unit == kAlarmUnitNone || !alarm_limit_exact) return;
    alarm_hit = tessaro::alarm_hit(scaled, *alarm_limit_exact) ? kAlarmHit : 0;
}

void Form1::lamp_tick() {
    switch (tessaro::lamp_tick(MSComm1->PortOpen(), alarm_hit, lamp_phase)) {
    case LampColour::Green:
        Shape1->setColour(kLampGreen);
        break;
    case LampColour::Red:
        Shape1->setColour(kLampRed);
        break;
    case LampColour::Dark:
        // The window's button face: the lamp seems to go out.
        Shape1->setColour(palette().color(QPalette::Button));
        break;
    }
    describe_lamp();
}

void Form1::show_alarm_panel_state() {
    // After a reload the controls come back as designed; a kept lock is shown as it stands.
    if (lock_on != kLockOn) return;
    Command6->setText(QStringLiteral("Unlock"));
    Text35->setText(alarm_text);
    if (alarm_unit == kAlarmUnitA) {
        Option3->setChecked(true);
    } else if (alarm_unit == kAlarmUnitMilliA) {
        Option4->setChecked(true);
    }
    Option3->setEnabled(false);
    Option4->setEnabled(false);
    Text35->setEnabled(false);
}

} // namespace tessaro
