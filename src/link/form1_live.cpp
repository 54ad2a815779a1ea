// Live acquisition: the live poll, the live frame handler and the statistics labels.
#include "app/form1.h"

#include "link/live_reading.h"
#include "link/live_stats.h"
#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "platform/ui_text.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

namespace tessaro {

namespace {
constexpr int kLiveReplyLength = kLiveFrameBytes;
constexpr int kTwoByteReply = kWordReplyBytes;
constexpr uint8_t kSkipHeld = 9;
const QColor kReadingColour{0, 128, 0};
} // namespace

void Form1::Timer2_Timer() {
    if (acq_on == 0) {
        Timer2->stop();
        link_state = 2;
        dl_session = 0;
        MSComm1->setRThreshold(kTwoByteReply);
        MSComm1->setInputLen(kTwoByteReply);
    }
    if (acq_on == 1) {
        Text33->hide();
        Text34->hide();
    }
    if (MSComm1->PortOpen() && acq_on == 1) {
        if (Text40->text() == QLatin1String("Connect Fail")) {
            // The meter failed its check: no live requests until it answers again.
            link_state = 2;
            dl_session = 0;
        } else {
            MSComm1->setRThreshold(kLiveReplyLength);
            MSComm1->setInputLen(kLiveReplyLength);
            send_address(kLiveAddress);
            link_state = 1;
            link_phase = 3;
        }
    }
}

void Form1::live_frame() {
    live_skip = static_cast<uint8_t>(live_skip + 1);
    if (live_skip > 2) live_skip = kSkipHeld;

    const LiveFrame frame = decode_live_frame(rx_bytes);
    if (!rx_bytes.isEmpty()) low_batt = frame.low_batt ? 1 : 0;

    // The first two frames after a restart only update low_batt.
    if (live_skip != kSkipHeld) return;
    if (!Command5->isEnabled()) Command5->setEnabled(true);
    if (!carries_reading(frame)) return;

    const int c = frame.count;
    const uint8_t r = frame.range;
    const QString reading = live_reading_text(c, r);
    // A range without a factor has no known unit or scale: its count enters nothing.
    const std::optional<int64_t> scaled = live_scaled(c, r);

    if (scaled) {
        alarm_classify(*scaled);

        if (const std::optional<double> sample = live_sample_value(c, r)) {
            enter_sample(live_samples, *sample);
            if (acq_on == 1 && MSComm1->PortOpen()) draw_chart();
        }

        live_stats.enter(c, r);
    }
    const FrameLabels labels = live_stats.labels(c);
    if (scaled && labels.avg) {
        Label5->setText(labels.avg->text);
        avg_shown = labels.avg->shown;
    }

    if (Text29->palette().color(QPalette::Text) != kReadingColour) {
        QPalette p = Text29->palette();
        p.setColor(QPalette::Text, kReadingColour);
        p.setColor(QPalette::WindowText, kReadingColour);
        Text29->setPalette(p);
    }
    set_text(Text29, reading);
    set_text(Text41, low_batt == 1 ? QStringLiteral("Low power") : QString());

    if (scaled) {
        Label1->setText(labels.max.text);
        max_shown = labels.max.shown;
        Label2->setText(labels.min.text);
        min_shown = labels.min.shown;
    }
    const LiveLogReading logged = live_log_reading(frame);
    log_live_reading(logged);
    publish_live_reading(logged);
}

void Form1::redraw_stat_labels() {
    const StatLabels labels = view_labels(max_shown, min_shown, avg_shown);
    Label5->setText(labels.avg);
    Label1->setText(labels.max);
    Label2->setText(labels.min);
}

void Form1::reset_live_average() {
    // The sum and count start afresh; start-up restarts the extremes right after this.
    live_stats = LiveStats{};
}

void Form1::reset_extremes() { live_stats.reset_extremes(); }

void Form1::view_restart_extremes() {
    if (restart_extremes(avg_shown)) live_stats.reset_extremes();
}

} // namespace tessaro
