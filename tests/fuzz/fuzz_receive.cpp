// libFuzzer target of the receive path: link states, armed lengths and received blocks through the reply
// handlers into the record store and the live statistics.
//
// The harness drives a real main window (offscreen) without a port: each "receive" op takes a block cut to
// the armed input length, as the port's Input() would, and dispatches it the way the receive handler does
// to the port-check, count, record-frame and live-frame handlers. Feeding bytes through a pseudo-terminal
// would cost milliseconds per block (thousands of times slower); the port layer and the dispatch over a
// real pseudo-terminal are covered by the serial tests.
//
// Time is virtual: the harness replaces clock_gettime, so the monotonic clock every timer, deadline and
// elapsed timer reads moves only when an op lets time pass. Then the event loop runs, firing what is due
// (a held request going out, the count line shown a frame late, the watchdog's ticks) in microseconds
// instead of real milliseconds. After each input the loop runs until nothing is due, so no posted event
// or timer is carried into the next input and memory stays flat over long campaigns.
//
// Input: a sequence of ops, each a selector byte followed by its operands (missing operands read as 0).
// Selectors 0..239 pick the op by their value modulo 10; 240..255 are the time and wire ops.
#include "app/form1.h"
#include "link/mscomm.h"
#include "platform/user_seam.h"

#include <QApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

// How far the virtual monotonic clock is ahead of the real one.
std::atomic<int64_t> g_clock_ahead_ns{0};

bool monotonic(clockid_t id) {
    return id == CLOCK_MONOTONIC || id == CLOCK_MONOTONIC_RAW || id == CLOCK_MONOTONIC_COARSE || id == CLOCK_BOOTTIME;
}

} // namespace

// Every clock read in the process (Qt's timers and deadlines, glib's main loop) comes here first; the
// real clock is read with the system call so this stays independent of the C library's own symbol.
extern "C" int clock_gettime(clockid_t id, struct timespec* ts) {
    const long rc = syscall(SYS_clock_gettime, id, ts);
    if (rc != 0 || !monotonic(id)) return static_cast<int>(rc);
    constexpr int64_t kNs = 1'000'000'000;
    const int64_t ns = static_cast<int64_t>(ts->tv_sec) * kNs + ts->tv_nsec + g_clock_ahead_ns.load();
    ts->tv_sec = static_cast<time_t>(ns / kNs);
    ts->tv_nsec = static_cast<long>(ns % kNs);
    return 0;
}

namespace {

constexpr milliseconds kLoopStep{5};        // virtual time between two turns of the event loop
constexpr milliseconds kSettleStep{50};     // after an input: longer steps until nothing is due
constexpr milliseconds kSettleSpan{1000};

constexpr int kLastDownloadSlot = 4600;

// The operator says Yes to every question and cancels every file and printer dialog.
class FuzzUser final : public tessaro::UserSeam {
public:
    tessaro::Answer message(QWidget*, const tessaro::MessageRequest& r) override {
        return r.yes_no ? tessaro::Answer::Yes : tessaro::Answer::Ok;
    }
    void notice(QWidget*, const tessaro::MessageRequest&) override {}
    QString save_file(QWidget*, const tessaro::SaveRequest&) override { return {}; }
    QString open_file(QWidget*, const tessaro::OpenRequest&) override { return {}; }
    bool print_setup(QWidget*, QPrinter&) override { return false; }
    void open_url(const QString&) override {}
};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    int16_t i16() { return static_cast<int16_t>(byte() << 8 | byte()); }
};

QApplication* g_app = nullptr;
tessaro::Form1* g_form = nullptr;
FuzzUser g_user;

[[noreturn]] void fail(const char* what, long a, long b) {
    std::fprintf(stderr, "fuzz_receive: %s (%ld, %ld)\n", what, a, b);
    std::abort();
}

// The store and its counters are sound: nothing outside the download's slots, counters in step.
void check(tessaro::Form1& f, bool recount) {
    if (f.ji_ge < 1 || f.ji_ge > tessaro::kSlots + 1) fail("ji_ge out of range", f.ji_ge, 0);
    if (f.page_count != f.ji_ge / tessaro::kRowsPerPage + 1) fail("page_count out of step with ji_ge", f.page_count, f.ji_ge);
    if (f.pair_half > 1) fail("pair_half beyond a pair", f.pair_half, 0);
    if (f.live_skip != 0 && f.live_skip != 1 && f.live_skip != 2 && f.live_skip != 9) fail("live_skip", f.live_skip, 0);
    if (!recount) return;
    for (int s = kLastDownloadSlot + 1; s < tessaro::kSlots; ++s)
        if (f.rec_range[static_cast<size_t>(s)] != 0) fail("record stored beyond slot 4600", s, f.rec_range[static_cast<size_t>(s)]);
    for (int s = 0; s <= kLastDownloadSlot; ++s) {
        const auto i = static_cast<size_t>(s);
        if (f.rec_range[i] != 0 && f.rec_no[i] != float(s + 1)) fail("record number differs from its slot", s, long(f.rec_no[i]));
    }
    const int before = f.ji_ge;
    f.count_records();
    if (f.ji_ge - 1 > kLastDownloadSlot + 1) fail("more records than download slots", f.ji_ge, before);
    check(f, false);
    if (const auto max = f.live_stats.stat_max(); max < 0 || max > 2370000.0) fail("maximum beyond 23.7 A", long(max), 0);
    for (size_t k = 0; k <= 400; ++k)
        if (f.live_samples[k] < 0 || (f.live_samples[k] >= 2380000.0 && f.live_samples[k] != 4200000.0))
            fail("live sample out of range", long(k), long(f.live_samples[k]));
}

// Nothing left on the wire, as after a finished exchange.
void quiet_wire(tessaro::Form1& f) { f.exchange.forget(); }

// Dispatch of one received block, in the receive handler's order.
void receive(tessaro::Form1& f, QByteArray block) {
    const int len = f.MSComm1->InputLen();
    if (len > 0 && block.size() > len) block.truncate(len);
    f.rx_bytes = block;
    f.rx_seen = 16;
    const auto took = f.exchange.take(block.size(), tessaro::MeterExchange::Clock::now());
    if (f.exchange.pending) {
        // The block answers the exchange before the held request: once that reply is in, the
        // request goes out on the next turn of the event loop.
        if (!took.more_due) quiet_wire(f);
        return;
    }
    if (f.link_state == 1) {
        f.dl_session = 1;
        if (f.link_phase == 1) f.record_frame();
        if (f.link_phase == 2) f.count_reply();
    }
    if (f.link_state == 2 && f.link_phase == 2) f.port_check_reply();
    if (f.link_phase == 3) f.live_frame();
}

// One turn of the event loop: posted events, then every timer that is due, then deferred deletes.
void turn_event_loop() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Lets `span` of virtual time pass in steps, running the event loop after each.
void pass_time(milliseconds span, milliseconds step = kLoopStep) {
    for (milliseconds done{0}; done < span; done += step) {
        g_clock_ahead_ns += std::chrono::nanoseconds(std::min(step, span - done)).count();
        turn_event_loop();
    }
}

// Runs the loop until whatever the input started has run: the longest delayed path is a held request
// waiting out the reply allowance (under 100 ms); the count line waits one display frame.
void settle() { pass_time(kSettleSpan, kSettleStep); }

void reset(tessaro::Form1& f) {
    f.clear_records();
    f.rec_mark.fill(0);
    f.rec_no.fill(0.0f);
    static_cast<tessaro::LinkVars&>(f) = tessaro::LinkVars{};
    f.link_state = 2;
    f.live_stats = tessaro::LiveStats{};
    f.live_skip = 0;
    f.acq_on = 0;
    f.Command9_Click(); // the history view: Read on Command5, link idle
    f.count_records();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QTemporaryDir home;
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qputenv(var, home.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QApplication(*argc, *argv);
    tessaro::set_user_seam(&g_user);
    g_form = new tessaro::Form1;
    g_form->show_loaded();
    for (QTimer* t : {g_form->Timer1, g_form->Timer2, g_form->Timer3}) t->stop(); // the harness drives it
    // The virtual clock reaches Qt's timers: an hour-long timer fires after an hour of virtual time.
    bool fired = false;
    QTimer::singleShot(std::chrono::hours(1), g_form, [&fired] { fired = true; });
    pass_time(std::chrono::minutes(61), std::chrono::minutes(1));
    if (!fired) fail("timers do not follow the virtual clock", 0, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessaro::Form1& f = *g_form;
    reset(f);
    Reader in{data, size};
    while (in.more()) {
        const uint8_t op = in.byte();
        if (op >= 240) {
            switch (op & 3) {
            case 0: pass_time(milliseconds(2 * (in.byte() + 1))); break; // 2..512 ms
            case 1: f.Timer1_Timer(); break;                              // the link tick (watchdog)
            case 2: f.Timer2_Timer(); break;                              // the live poll
            default: quiet_wire(f); break;
            }
            check(f, false);
            continue;
        }
        switch (op % 10) {
        case 0: f.link_state = static_cast<int16_t>(in.byte() % 3); break;
        case 1: f.link_phase = static_cast<int16_t>(in.byte() % 4); break;
        case 2: { // armed length
            const int n = in.byte() % 10;
            f.MSComm1->setInputLen(n);
            f.MSComm1->setRThreshold(n);
            break;
        }
        case 3: // download variables as a watchdog, view command or earlier download left them
            f.meter_count = in.i16();
            f.rec_addr = static_cast<int32_t>(static_cast<uint16_t>(in.i16())) - (in.byte() & 1 ? 300 : 0);
            f.pair_half = in.byte() % 2;
            f.dl_session = in.byte() % 4;
            f.dl_unfinished = in.byte() & 1;
            break;
        case 4:
        case 5:
        case 6: { // a received block of 0..16 bytes
            const int n = in.byte() % 17;
            QByteArray block;
            for (int k = 0; k < n; ++k) block.append(static_cast<char>(in.byte()));
            receive(f, block);
            break;
        }
        case 7: // the live window's restart counter and acquisition
            f.live_skip = (in.byte() & 1) ? 9 : 0;
            f.acq_on = in.byte() & 1;
            break;
        case 8: // the operator: Read (refused: no port), Empty, Restore
            switch (in.byte() % 3) {
            case 0: f.read_click(); break;
            case 1: f.Command2_Click(); break;
            default: f.Command7_Click(); break;
            }
            break;
        default: // the text the watchdog or the port check left in the status box
            f.Text40->setText(in.byte() & 1 ? QStringLiteral("Connect Fail") : QStringLiteral("Connect Success"));
            break;
        }
        check(f, false);
    }
    settle(); // the delayed paths this input started run now, not in the next input
    check(f, true);
    return 0;
}
