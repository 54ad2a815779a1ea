// Requests, the receive handler, the port check, the link tick and the port supervisor.
#include "app/form1.h"

#include "link/mscomm.h"
#include "link/port_choice.h"
#include "platform/paths.h"
#include "platform/ui_text.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace tessaro {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kLinkTick{60};
constexpr int kWatchdogTicks = 40;      // the watchdog looks on the tick after this many
constexpr int kPortFileRecheckTicks = 16;
constexpr uint8_t kSeen = 16;
constexpr uint16_t kPortCheckAddress = 6000;
constexpr int kPortCheckAnswer = 6500;
constexpr uint16_t kCountAddress = 5000;
constexpr uint16_t kLiveAddress = 7000;
constexpr uint16_t kFirstPairAddress = 257;
constexpr int kBitsPerByte = 10;        // start, 8 data, stop
constexpr int kBaud = 4800;
constexpr milliseconds kReplyMargin{50}; // beyond a reply's own wire time
const QString kLineSettings = QStringLiteral("4800,n,8,1");

// Bytes the meter sends for a request: both frames of a record pair count as one reply.
int reply_length(uint16_t address) {
    switch (address) {
    case kPortCheckAddress:
    case kCountAddress: return 2;
    case kLiveAddress: return 3;
    default: return address >= kFirstPairAddress && (address - kFirstPairAddress) % 2 == 0 ? 16 : 0;
    }
}

milliseconds reply_allowance(int bytes) {
    const auto wire_us = static_cast<int64_t>(bytes) * kBitsPerByte * 1'000'000 / kBaud;
    return kReplyMargin + milliseconds((wire_us + 999) / 1000);
}

bool exchange_due(const Form1& f) {
    return (f.due_bytes > 0 || f.reply_unframed) && !f.due_until.hasExpired();
}

// Nothing on the wire any more (port opened or closed, exchange given up).
void forget_exchange(Form1& f) {
    f.due_bytes = 0;
    f.due_until = QDeadlineTimer();
    f.reply_unframed = false;
}

void transmit(Form1& f, uint16_t address) {
    // Whatever still waits belongs to an exchange that is over.
    f.MSComm1->setInBufferCount(0);
    // Both words in one write: the same bytes on the wire, one system call.
    const char request[4] = {0, static_cast<char>(address >> 8), 0, static_cast<char>(address & 0xFF)};
    f.MSComm1->Output(QByteArray(request, sizeof request));
    f.due_bytes = reply_length(address);
    f.due_until = QDeadlineTimer(reply_allowance(f.due_bytes));
    f.reply_unframed = false;
}

void flush_pending(Form1& f);

void schedule_flush(Form1& f) {
    const auto wait = std::max<qint64>(1, f.due_until.remainingTime() + 1);
    QTimer::singleShot(milliseconds(wait), &f, [&f] { flush_pending(f); });
}

void flush_pending(Form1& f) {
    if (!f.pending_address) return;
    if (exchange_due(f)) {
        schedule_flush(f);
        return;
    }
    const uint16_t address = *f.pending_address;
    f.pending_address.reset();
    transmit(f, address);
}

// Counts bytes taken against the reply due; true while more of it is still to come.
bool take_due(Form1& f, qsizetype taken) {
    if (f.due_bytes <= 0) return false;
    f.due_bytes = static_cast<int>(std::max<qsizetype>(0, f.due_bytes - taken));
    return f.due_bytes > 0;
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
    forget_exchange(f);
}

QString open_failure_text(const MSComm& port) {
    const QString path = port.devicePath();
    switch (port.lastOpenFailure()) {
    case OpenFailure::None: return {};
    case OpenFailure::NoSuchPort:
        return path.isEmpty() ? QStringLiteral("No device for port %1").arg(port.CommPort())
                              : QStringLiteral("No such device: %1").arg(path);
    case OpenFailure::PermissionDenied:
        return QStringLiteral("Permission denied on %1: add your user to the dialout group and log in again")
            .arg(path);
    case OpenFailure::Busy:
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
    if (exchange_due(*this) || pending_address) {
        const bool scheduled = pending_address.has_value();
        pending_address = address;
        if (!scheduled) schedule_flush(*this);
        return;
    }
    transmit(*this, address);
}

void Form1::send_address_after_quiet(uint16_t address) {
    // The bytes still due and any stray bytes around them may still be on their way: the request
    // goes out only after the time they need, counted from now, and everything taken meanwhile
    // is dropped.
    const QDeadlineTimer quiet(reply_allowance(std::max(due_bytes, 0)));
    if (!exchange_due(*this) || due_until < quiet) due_until = quiet;
    reply_unframed = true;
    send_address(address);
}

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != MSComm::kCommEventReceive) return;
    if (sorting && link_state == 1 && link_phase == 1 && !pending_address) {
        // The sort owns the store: record frames wait in the port until it ends.
        held_for_sort = true;
        return;
    }
    rx_bytes = MSComm1->Input();
    // Bytes of a reply still due (the second frame of a pair) stay for the next event.
    const bool more_due = take_due(*this, rx_bytes.size());
    if (!more_due) MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    rx_seen = kSeen;

    if (pending_address) {
        // This block answers the exchange before the held request, not that request.
        if (!more_due) flush_pending(*this);
        return;
    }

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
    Command13->setEnabled(true);
    Command12->setEnabled(true);
    Command7->setEnabled(true);
    const int v = rx_bytes.size() >= 2
                      ? static_cast<uint8_t>(rx_bytes[0]) * 256 + static_cast<uint8_t>(rx_bytes[1])
                      : 0;
    if (v != kPortCheckAnswer) {
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
        MSComm1->setInputLen(8);
        MSComm1->setRThreshold(8);
    } else if (dl_session != 1) {
        meter_count = 0;
        rec_addr = 0;
        dl_unfinished = false;
    }
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
            forget_exchange(*this);
        }
        link_ticks = 0;
        rx_seen = 0;
    }

    if (!MSComm1->PortOpen()) {
        live_skip = 0;
        set_text(Text40, QStringLiteral("Connection Fail"));
    } else if (link_state == 2 && !exchange_due(*this) && !pending_address && !dl_box_open) {
        MSComm1->setRThreshold(2);
        MSComm1->setInputLen(2);
        link_phase = 2;
        send_address(kPortCheckAddress);
    }

    if (held_for_sort && !sorting) {
        // The sort is over: raise the receive event again for the frames that waited.
        held_for_sort = false;
        MSComm1->setRThreshold(MSComm1->RThreshold());
    }
    cursor_readout();
}

void Form1::Timer3_Timer() {
    lamp_tick();
    read_port_box(*this);
    if (MSComm1->PortOpen() && last_port && *last_port != MSComm1->CommPort()) close_port(*this);
    if (Text40->text() == QLatin1String("Connect Fail") && MSComm1->PortOpen()) close_port(*this);
    if (MSComm1->PortOpen() || !last_port) return;

    remember_port(*this);
    MSComm1->setCommPort(*last_port);
    MSComm1->setSettings(kLineSettings);
    if (MSComm1->setPortOpen(true) == 0) {
        forget_exchange(*this);
        Text38->setToolTip(MSComm1->devicePath());
        Text39->setToolTip(QString());
    } else {
        const QString why = open_failure_text(*MSComm1);
        Text38->setToolTip(why);
        Text39->setToolTip(why);
    }
}

void Form1::select_saved_port() {
    const auto saved = read_port_file(paths::port_file());
    Combo1->setCurrentIndex(saved ? *saved - 1 : -1);
}

} // namespace tessaro
