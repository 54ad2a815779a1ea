// Pause and start of live acquisition on Command5 and the menu.
#include "app/form1.h"

#include "link/mscomm.h"

#include <QPushButton>
#include <QTimer>

namespace tessaro {

namespace {
constexpr int kTwoByteReply = 2;
constexpr int kLiveReplyLength = 3;

void clear_buffers(MSComm* port) {
    port->setInBufferCount(0);
    port->setOutBufferCount(0);
}

// Enabling keeps a running poll's rhythm.
void enable(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}
} // namespace

void Form1::Command5_Click() {
    const QString caption = Command5->text();
    read_click();
    if (caption == QLatin1String("Pause"))
        button_pause();
    else if (caption == QLatin1String("Start"))
        button_start();
}

void Form1::button_pause() {
    alarm_hit = 0;
    live_skip = 0;
    Command5->setText(QStringLiteral("Start"));
    Timer2->stop();
    clear_buffers(MSComm1);
    acq_on = 0;
    link_state = 2;
    dl_session = 0;
    MSComm1->setRThreshold(kTwoByteReply);
    MSComm1->setInputLen(kTwoByteReply);
}

void Form1::menu_pause() {
    // Unlike the button, the menu keeps the alarm state and the bytes waiting at the port.
    Command5->setText(QStringLiteral("Start"));
    Timer2->stop();
    acq_on = 0;
    link_state = 2;
    dl_session = 0;
    MSComm1->setRThreshold(kTwoByteReply);
    MSComm1->setInputLen(kTwoByteReply);
}

void Form1::button_start() {
    alarm_hit = 0;
    live_skip = 0;
    clear_buffers(MSComm1);
    Command5->setText(QStringLiteral("Pause"));
    clear_buffers(MSComm1);
    link_state = 1;
    link_phase = 3;
    acq_on = 1;
    enable(Timer2);
    MSComm1->setRThreshold(kLiveReplyLength);
    MSComm1->setInputLen(kLiveReplyLength);
}

void Form1::menu_start() {
    // Keeps alarm_hit and live_skip: with the counter at 9 the next frame is shown at once.
    Command5->setText(QStringLiteral("Pause"));
    clear_buffers(MSComm1);
    link_state = 1;
    link_phase = 3;
    acq_on = 1;
    enable(Timer2);
    MSComm1->setRThreshold(kLiveReplyLength);
    MSComm1->setInputLen(kLiveReplyLength);
}

} // namespace tessaro
