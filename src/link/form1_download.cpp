// The history download: Read, the count reply and the record frames.
#include "app/form1.h"

#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "platform/user_seam.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>

namespace tessaro {

namespace {

constexpr int kLastSlot = kMaxMeterCount; // the download writes slots 0..4600 at most
constexpr int kFrameBytes = kRecordFrameBytes;
// Counts refused in a row before the download is given up: a meter that keeps answering them has
// no valid count to give. Asked once a link tick, that is about half a second.
constexpr uint8_t kCountRefusals = 8;
// An implausible frame is asked for again this many times; then it is taken as the meter's record.
constexpr uint8_t kPairRetries = 2;
constexpr int kFirstPageEnd = 282;     // pairs below this address fill the first page
constexpr double kBarTwipsPerPercent = 102.5;
// A meter that answers at once would otherwise have the window repainted for every record.
// Shorter than the 17 ms between records at 4800 baud, so a paced download never holds a line:
// the held line's timer would fire just as the next frame arrives, and its repaint would delay
// the next request.
constexpr std::chrono::milliseconds kDisplayFrame{12};

// The receive event is raised once this many bytes wait, and Input takes that many.
void arm(Form1& f, int bytes) {
    f.MSComm1->setRThreshold(bytes);
    f.MSComm1->setInputLen(bytes);
}

void set_read_buttons(Form1& f, bool enabled) {
    for (QPushButton* b : {f.Command5, f.Command13, f.Command12, f.Command7, f.Command15, f.Command16})
        b->setEnabled(enabled);
}

void write_count_line(Form1& f) {
    f.dl_line_held = false;
    if (f.Text41->text() != f.dl_line) f.Text41->setText(f.dl_line);
    f.dl_line_shown.start();
}

// A held line is shown unless the box was written after the record it counts.
void release_count_line(Form1& f) {
    if (f.dl_line_held && f.Text41->text() == f.dl_line_under) write_count_line(f);
    f.dl_line_held = false;
}

void show_count_line(Form1& f) {
    if (!f.dl_line_shown.isValid() || f.dl_line_shown.hasExpired(kDisplayFrame.count())) {
        write_count_line(f);
        return;
    }
    f.dl_line_under = f.Text41->text();
    if (f.dl_line_held) return;
    f.dl_line_held = true;
    QTimer::singleShot(kDisplayFrame, &f, [&f] { release_count_line(f); });
}

void end_download(Form1& f, uint8_t session) {
    release_count_line(f);
    f.link_state = 2;
    f.dl_session = session;
    f.dl_unfinished = false;
    set_read_buttons(f, true);
    f.Text42->clear();
    f.Text33->hide();
    f.Text34->hide();
}

void show_progress(Form1& f) {
    const int p = f.meter_count > 0 ? (f.rec_addr - 256) * 100 / f.meter_count : 0;
    f.Text34->setVisible(p > 0);
    f.Text33->setVisible(p > 0);
    f.Text33->resize(twips(p * kBarTwipsPerPercent), f.Text33->height());
    f.Text34->move(f.Text33->x() + f.Text33->width(), f.Text34->y());
    const QString text = QStringLiteral("%1% ").arg(p);
    if (f.Text34->text() != text) f.Text34->setText(text);
}

} // namespace

void Form1::ask_count() {
    arm(*this, kWordReplyBytes);
    send_address(kCountAddress);
    link_state = 1;
    link_phase = 2;
}

void Form1::read_click() {
    if (Command5->text() != QLatin1String("Read") || link_state == 1 || sorting) return;
    // Refuse before touching the store: a link that is down must not cost the records on show.
    if (Text40->text() == QLatin1String("Connect Fail") || !MSComm1->PortOpen()) {
        user_seam().message(this, MessageRequest{QStringLiteral("Connect Fail"), QStringLiteral("System prompt")});
        return;
    }
    // The records on show stay until the meter has given its count: a meter that is switched off
    // leaves the table as it was.
    dl_unfinished = false;
    count_refusals = 0;
    count_again = false;
    ask_count();
    Text42->setText(QStringLiteral("Reading......."));
}

void Form1::count_reply() {
    // The raw value decides: a short reply or any count above the limit is asked for again, on the
    // next link tick, a few times in a row at most.
    const std::optional<int> count = decode_count(rx_bytes);
    if (!count) {
        if (++count_refusals < kCountRefusals) {
            count_again = true;
            return;
        }
        count_refusals = 0;
        link_state = 2;
        dl_session = 0;
        Text42->clear();
        set_read_buttons(*this, true);
        user_seam().message(this, MessageRequest{QStringLiteral("The meter's record count is not valid"),
                                                 QStringLiteral("System prompt")});
        return;
    }
    count_refusals = 0;
    meter_count = static_cast<int16_t>(*count);
    dl_unfinished = true;
    clear_records();
    count_records();
    Text41->setText(QStringLiteral("%1/%2Page   %3No").arg(cur_page + 1).arg(page_count).arg(ji_ge - 1));
    show_page(1);
    if (meter_count == 0) {
        // The watchdog leaves the exchange alone while the operator reads this.
        dl_box_open = true;
        user_seam().message(this, MessageRequest{QStringLiteral("No Data"), QStringLiteral("System prompt")});
        dl_box_open = false;
        if (quitting) return;
        // The meter had nothing to answer while the box was open: the watchdog's next look comes
        // a whole period after the request that follows, not on the next tick.
        link_ticks = 0;
    }
    pair_half = 0;
    pair_retries = 0;
    rec_addr = kFirstPairAddress;
    send_address(static_cast<uint16_t>(rec_addr));
    link_phase = 1;
    arm(*this, kFrameBytes);
}

void Form1::record_frame() {
    const bool pair_in_range =
        rec_addr >= kFirstPairAddress && rec_addr - kFirstPairAddress <= kLastSlot;
    if (rx_bytes.size() < kFrameBytes) {
        if (!pair_in_range) {
            end_download(*this, 0);
            return;
        }
        pair_half = 0;
        send_address(static_cast<uint16_t>(rec_addr));
        link_phase = 1;
        arm(*this, kFrameBytes);
        return;
    }
    if (is_empty_slot(rx_bytes)) {
        end_download(*this, 0);
        return;
    }
    const auto* b = reinterpret_cast<const uint8_t*>(rx_bytes.constData());
    if (!plausible_record(b) && pair_retries < kPairRetries && pair_in_range) {
        // Stray bytes on the line shifted the frame: the pair again from its first record,
        // once the rest of this reply is off the line.
        ++pair_retries;
        pair_half = 0;
        send_address_after_quiet(static_cast<uint16_t>(rec_addr));
        link_phase = 1;
        arm(*this, kFrameBytes);
        return;
    }
    const int s = slot_of(rec_addr, pair_half);
    if (s < 0 || s > kLastSlot) {
        end_download(*this, 0);
        return;
    }
    store_record(s, b);
    if (s + 1 >= meter_count + 1) {
        end_download(*this, 1);
        return;
    }

    // The meter waits for the next request while the window is brought up to date: it goes first.
    const bool pair_done = pair_half == 1;
    if (pair_done) send_address(static_cast<uint16_t>(rec_addr + 2));

    set_read_buttons(*this, false);
    count_records();
    dl_line = QStringLiteral("%1/%2页   %3组").arg(cur_page + 1).arg(page_count).arg(ji_ge - 1);
    show_count_line(*this);
    if (Text42->text() != QLatin1String("Reading.......")) Text42->setText(QStringLiteral("Reading......."));
    show_progress(*this);
    if (rec_addr < kFirstPageEnd) show_page(1);

    if (!pair_done) {
        ++pair_half;
        return;
    }
    pair_half = 0;
    pair_retries = 0;
    rec_addr += 2;
    link_phase = 1;
    arm(*this, kFrameBytes);
}

} // namespace tessaro
