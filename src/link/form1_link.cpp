// Requests, the receive handler, the port check, the link tick and the port supervisor.
#include "app/form1.h"

#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "link/port_choice.h"
#include "platform/paths.h"
#include "platform/port_lock.h"
#include "platform/serial_device_map.h"
#include "platform/ui_text.h"
#include "platform/user_seam.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace tessaro {

namespace {

using std::chrono::milliseconds;
using Clock = MeterExchange::Clock;

constexpr milliseconds kLinkTick{60};
// While live polling runs and the meter is known to answer, the link tick checks it this often,
// and only when the line is free: a slow meter's live replies are not held back for it.
constexpr milliseconds kLiveCheckEvery{2500};
constexpr int kWatchdogTicks = 40;      // the watchdog looks on the tick after this many
constexpr int kPortFileRecheckTicks = 16;
constexpr uint8_t kSeen = 16;
const QString kLineSettings = QStringLiteral("4800,n,8,1");

// The length one receive event takes of this request's reply (a record pair: one frame).
int armed_length(uint16_t address) {
    switch (address_kind(address)) {
    case AddressKind::Live: return kLiveFrameBytes;
    case AddressKind::RecordPair: return kRecordFrameBytes;
    case AddressKind::PortCheck:
    case AddressKind::Count:
    case AddressKind::Other: break;
    }
    return kWordReplyBytes;
}

void arm_for(Form1& f, uint16_t address) {
    f.MSComm1->setRThreshold(armed_length(address));
    f.MSComm1->setInputLen(armed_length(address));
}

void transmit(Form1& f, uint16_t address) {
    // Whatever still waits belongs to an exchange that is over.
    f.MSComm1->setInBufferCount(0);
    // Both words in one write: the same bytes on the wire, one system call.
    f.MSComm1->Output(encode_request(address));
    f.exchange.sent(address, Clock::now());
    // The senders arm the port themselves; a request held back goes out after they have returned.
    arm_for(f, address);
}

bool text_is(const QLineEdit* box, const char* text) { return box->text() == QLatin1String(text); }

// Live polling runs (Pause and the history view end it) and the meter has not failed its check.
bool live_polling(const Form1& f) { return f.acq_on == 1 && !text_is(f.Text40, "Connect Fail"); }

void send_port_check(Form1& f) {
    f.MSComm1->setRThreshold(kWordReplyBytes);
    f.MSComm1->setInputLen(kWordReplyBytes);
    f.link_state = 2; // between live polls the link is idle while the check is out
    f.link_phase = 2;
    f.send_address(kPortCheckAddress);
    f.check_sent.start();
}

void flush_pending(Form1& f);

void schedule_flush(Form1& f) {
    const auto left = std::chrono::ceil<milliseconds>(f.exchange.freeAt() - Clock::now());
    QTimer::singleShot(std::max(milliseconds(1), left + milliseconds(1)), &f, [&f] { flush_pending(f); });
}

void flush_pending(Form1& f) {
    if (!f.exchange.pending) return;
    const uint16_t address = *f.exchange.pending;
    const bool live = address_kind(address) == AddressKind::Live;
    if (live && !live_polling(f)) {
        // Polling stopped (Pause, the history view) or the meter failed its check while the
        // request waited: it never goes out.
        f.exchange.pending.reset();
        return;
    }
    if (!f.exchange.lineFree(Clock::now())) {
        schedule_flush(f);
        return;
    }
    if (live && !text_is(f.Text40, "Connect Success") && !f.dl_box_open) {
        // The meter answers again after an outage: the port check goes before the held poll, so
        // the state line follows within one reply time, however slow the meter.
        f.exchange.pending.reset();
        send_port_check(f);
        f.exchange.pending = address;
        schedule_flush(f);
        return;
    }
    f.exchange.pending.reset();
    transmit(f, address);
    if (live) {
        // As the live poll leaves the link when it sends.
        f.link_state = 1;
        f.link_phase = 3;
    }
}

// The reply on the wire when a request was held behind it, if the link still wants it: a live
// reading while polling goes on, or the port check that went out between two polls.
void answer_before_held(Form1& f, uint16_t answered) {
    const bool live_held = f.exchange.pending && address_kind(*f.exchange.pending) == AddressKind::Live;
    switch (address_kind(answered)) {
    case AddressKind::Live:
        if (f.link_phase != 3 || !live_polling(f)) return;
        if (f.link_state == 1) f.dl_session = 1;
        f.live_frame();
        return;
    case AddressKind::PortCheck:
        if (live_held) f.port_check_reply();
        return;
    case AddressKind::Count:
    case AddressKind::RecordPair:
    case AddressKind::Other: return;
    }
}

// The port box's number, parsed again only when its text has changed.
std::optional<int> port_box_number(Form1& f) {
    // The kept pair starts as the empty text, which holds no number.
    const QString text = f.Combo1->currentText();
    if (text != f.port_box_text) {
        f.port_box_text = text;
        f.port_box_value = port_number(text);
    }
    return f.port_box_value;
}

// The port box's number when it holds one, else the last one it held.
void read_port_box(Form1& f) {
    if (const auto n = port_box_number(f)) f.last_port = *n;
}

// The port file holds the current choice; written only when it does not already.
void remember_port(Form1& f) {
    if (!f.last_port) return;
    if (f.port_file_path.isEmpty()) f.port_file_path = paths::port_file();
    const QString& path = f.port_file_path;
    // The file is read again only when its folder saw a change (our own writes included), and
    // about once a second in case it changed where the folder's events do not reach.
    const bool look = f.port_file_watch.changed(path) || ++f.port_file_quiet_ticks >= kPortFileRecheckTicks;
    if (look) f.port_file_quiet_ticks = 0;
    if (f.port_file_value == f.last_port && (!look || read_port_file(path) == f.last_port)) return;
    if (write_port_file(path, static_cast<int16_t>(*f.last_port)))
        f.port_file_value = f.last_port;
    else
        f.port_file_value.reset(); // an unwritable file is tried again on the next tick
}

void close_port(Form1& f) {
    f.MSComm1->setPortOpen(false);
    // The device may still answer into its side of the line: that answer is dropped after a reopen.
    f.exchange.giveUp();
}

// Whether the link, as it stands, takes a reply to this address as the reply it waits for.
bool reply_expected(const Form1& f, uint16_t address) {
    switch (address_kind(address)) {
    case AddressKind::PortCheck: return f.link_state == 2 && f.link_phase == 2;
    case AddressKind::Count: return f.link_state == 1 && f.link_phase == 2;
    case AddressKind::RecordPair: return f.link_state == 1 && f.link_phase == 1;
    case AddressKind::Live: return f.link_phase == 3;
    case AddressKind::Other: break;
    }
    return true;
}

QString open_failure_text(const MSComm& port) {
    const QString path = device_chain_text(port.devicePath());
    switch (port.lastOpenFailure()) {
    case OpenFailure::None: return {};
    case OpenFailure::NoSuchPort:
        return path.isEmpty() ? QStringLiteral("No device for port %1").arg(port.CommPort())
                              : QStringLiteral("No such device: %1").arg(path);
    case OpenFailure::PermissionDenied:
        return QStringLiteral("Permission denied on %1: add your user to the dialout group and log in again")
            .arg(path);
    case OpenFailure::Busy:
        // Named when its lock file names a program that still runs.
        if (const DeviceLock lock = read_device_lock(QFileInfo(port.devicePath()).canonicalFilePath()); lock.holder)
            return QStringLiteral("%1 is held by %2").arg(path, holder_text(*lock.holder));
        return QStringLiteral("%1 is held by another program (or grabbed by a braille-display service "
                              "such as brltty)")
            .arg(path);
    case OpenFailure::NotSerial: return QStringLiteral("%1 is not a serial port").arg(path);
    case OpenFailure::Other: break;
    }
    return QStringLiteral("Cannot open %1").arg(path);
}

} // namespace

void Form1::send_address(uint16_t address) {
    // A request waits while the reply to the one before is still on its way, so that
    // reply is never taken as the answer to this one.
    if (!exchange.lineFree(Clock::now()) || exchange.pending) {
        const bool scheduled = exchange.pending.has_value();
        exchange.pending = address;
        if (!scheduled) schedule_flush(*this);
        // The sender arms the port for the held request's reply: once it has returned, the port
        // waits for the reply on the wire again.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!exchange.pending) return;
                if (const auto due = exchange.dueAddress(Clock::now())) arm_for(*this, *due);
            },
            Qt::QueuedConnection);
        return;
    }
    transmit(*this, address);
}

void Form1::send_address_after_quiet(uint16_t address) {
    // The bytes still due and any stray bytes around them may still be on their way: the request
    // goes out only after the time they need, counted from now, and everything taken meanwhile
    // is dropped.
    exchange.holdUntil(Clock::now() + quiet_time(exchange.dueBytes()));
    send_address(address);
}

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != MSComm::kCommEventReceive) return;
    if (sorting && link_state == 1 && link_phase == 1 && !exchange.pending) {
        // The sort owns the store: record frames wait in the port until it ends.
        held_for_sort = true;
        return;
    }
    rx_bytes = MSComm1->Input();
    const auto now = Clock::now();
    const std::optional<uint16_t> answering = exchange.dueAddress(now);
    const MeterExchange::Take took = exchange.take(rx_bytes.size(), now);
    // Bytes of a reply still due (the second frame of a pair) stay for the next event.
    const bool more_due = took.more_due;
    if (!more_due) MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    rx_seen = kSeen;

    if (exchange.pending) {
        // This block answers the exchange before the held request, never that request.
        if (more_due) return;
        if (!took.dropped && answering) answer_before_held(*this, *answering);
        if (quitting) return;
        flush_pending(*this);
        return;
    }
    // The answer to an exchange that was given up, or to a request of another kind than the link
    // now waits for (a live reading asked just before the history view): never a reply here.
    if (took.dropped || (answering && !reply_expected(*this, *answering))) return;

    if (link_state == 1) {
        dl_session = 1;
        if (link_phase == 1) record_frame();
        if (quitting) return;
        if (link_phase == 2) count_reply();
        if (quitting) return;
    }
    if (link_state == 2 && link_phase == 2) port_check_reply();
    if (link_phase == 3) live_frame();
}

void Form1::port_check_reply() {
    // While a download waits for its resume, a sort or Restore would move records under the
    // repeated pair: their buttons stay as the download left them.
    const auto give_back_sorts = [this] {
        if (dl_unfinished) return;
        Command13->setEnabled(true);
        Command12->setEnabled(true);
        Command7->setEnabled(true);
    };
    if (!is_port_check_answer(rx_bytes)) {
        give_back_sorts();
        set_text(Text40, QStringLiteral("Connect Fail"));
        live_skip = 0;
        return;
    }
    if (dl_session == 1 && dl_unfinished && rec_addr >= kFirstPairAddress && rec_addr <= 0xFFFF) {
        // Resume an interrupted download at the pair it had reached; stored records stay.
        send_address(static_cast<uint16_t>(rec_addr));
        pair_half = 0;
        link_state = 1;
        link_phase = 1;
        MSComm1->setInputLen(kRecordFrameBytes);
        MSComm1->setRThreshold(kRecordFrameBytes);
    } else if (dl_session != 1) {
        meter_count = 0;
        rec_addr = 0;
        dl_unfinished = false;
    }
    give_back_sorts();
    set_text(Text40, QStringLiteral("Connect Success"));
}

void Form1::Timer1_Timer() {
    // Setting the interval of a running timer restarts it: only the first tick changes it.
    if (Timer1->intervalAsDuration() != kLinkTick) Timer1->setInterval(kLinkTick);
    set_text(Text39, MSComm1->PortOpen() ? QStringLiteral("COM Open") : QStringLiteral("COM Close"));
    if (const auto n = port_box_number(*this)) {
        last_port = *n;
        set_text(Text38, QStringLiteral("COM%1").arg(*n));
    }
    remember_port(*this);

    if (++link_ticks > kWatchdogTicks) {
        // Frames held back for a sort did arrive; the "No Data" box is the program's own pause.
        const bool held = held_for_sort && MSComm1->InBufferCount() > 0;
        if (rx_seen == 0 && !held && !dl_box_open) {
            Text42->clear();
            set_text(Text40, QStringLiteral("Connection Fail"));
            live_skip = 0;
            if (link_state == 1) link_state = 2;
            MSComm1->setOutBufferCount(0);
            MSComm1->setInBufferCount(0);
            count_again = false;
            exchange.giveUp();
        }
        link_ticks = 0;
        rx_seen = 0;
    }

    if (count_again) {
        // A refused count is asked for again here, once a tick, not at the meter's pace.
        count_again = false;
        if (link_state == 1 && link_phase == 2 && MSComm1->PortOpen()) ask_count();
    }
    if (!MSComm1->PortOpen()) {
        live_skip = 0;
        set_text(Text40, QStringLiteral("Connection Fail"));
    } else if (!exchange.lineFree(Clock::now()) || exchange.pending || dl_box_open) {
        // An exchange is on the wire or waits for its turn: the check comes after it.
    } else if (link_state == 2) {
        send_port_check(*this);
    } else if (link_phase == 3 && live_polling(*this) &&
               (!text_is(Text40, "Connect Success") || !check_sent.isValid() ||
                check_sent.hasExpired(kLiveCheckEvery.count()))) {
        // Live polling never leaves the link idle: between two polls the check goes out while the
        // meter is not known to answer right, else now and then.
        send_port_check(*this);
    }

    if (held_for_sort && !sorting) {
        // The sort is over: raise the receive event again for the frames that waited.
        held_for_sort = false;
        MSComm1->setRThreshold(MSComm1->RThreshold());
    }
    cursor_readout();
}

void Form1::Timer3_Timer() {
    sync_live_log();
    lamp_tick();
    read_port_box(*this);
    if (MSComm1->PortOpen() && last_port && *last_port != MSComm1->CommPort()) close_port(*this);
    // A port check on its way is let finish: a meter slower than this tick would otherwise never get
    // the chance to turn "Connect Fail" back into "Connect Success".
    const bool check_due = exchange.dueAddress(Clock::now()) == kPortCheckAddress;
    if (Text40->text() == QLatin1String("Connect Fail") && MSComm1->PortOpen() && !check_due) close_port(*this);
    if (MSComm1->PortOpen() || !last_port) return;

    remember_port(*this);
    MSComm1->setCommPort(*last_port);
    MSComm1->setSettings(kLineSettings);
    if (MSComm1->setPortOpen(true) == 0) {
        Text38->setToolTip(device_chain_text(MSComm1->devicePath()));
        Text39->setToolTip(QString());
    } else {
        const QString why = open_failure_text(*MSComm1);
        Text38->setToolTip(why);
        Text39->setToolTip(why);
        if (MSComm1->lastOpenFailure() == OpenFailure::PermissionDenied) tell_port_refused();
    }
}

void Form1::tell_port_refused() {
    // The status lines keep their texts; a user outside the dialout group would otherwise see
    // "COM Close" for ever. Told once for each device, without stopping the program.
    const QString path = MSComm1->devicePath();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString device = canonical.isEmpty() ? path : canonical;
    if (refusals_told.contains(device)) return;
    refusals_told << device;
    MessageRequest notice;
    notice.title = QStringLiteral("System prompt");
    notice.icon = MessageIcon::Warning;
    notice.text = QStringLiteral("Port %1 cannot be opened: permission denied on %2.\n\n"
                                 "Serial ports belong to the group \"dialout\", and your user is not in it. "
                                 "Add it with\n\n    sudo usermod -aG dialout $USER\n\n"
                                 "then log out and log in again: the group counts from the next login.")
                      .arg(MSComm1->CommPort())
                      .arg(device_chain_text(path));
    user_seam().notice(this, notice);
}

void Form1::select_saved_port() {
    const auto saved = read_port_file(paths::port_file());
    Combo1->setCurrentIndex(saved ? *saved - 1 : -1);
}

} // namespace tessaro
