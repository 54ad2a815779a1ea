// libFuzzer target of the receive path: link states, armed lengths and received blocks through the reply
// handlers into the record store and the live statistics.
//
// The harness drives a real main window (offscreen) without a port: each "receive" op takes a block cut to
// the armed input length, as the port's Input() would, and dispatches it the way the receive handler does
// to the port-check, count, record-frame and live-frame handlers. Feeding bytes through a pseudo-terminal
// would cost milliseconds per block (thousands of times slower); the port layer and the dispatch over a
// real pseudo-terminal are covered by the serial tests.
//
// Input: a sequence of ops, each a selector byte followed by its operands (missing operands read as 0).
#include "app/form1.h"
#include "link/mscomm.h"
#include "platform/user_seam.h"

#include <QApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kLastDownloadSlot = 4600;

// The operator says Yes to every question and cancels every file and printer dialog.
class FuzzUser final : public tessaro::UserSeam {
public:
    tessaro::Answer message(QWidget*, const tessaro::MessageRequest& r) override {
        return r.yes_no ? tessaro::Answer::Yes : tessaro::Answer::Ok;
    }
    QString save_file(QWidget*, const tessaro::SaveRequest&) override { return {}; }
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

// Dispatch of one received block, in the receive handler's order.
void receive(tessaro::Form1& f, QByteArray block) {
    const int len = f.MSComm1->InputLen();
    if (len > 0 && block.size() > len) block.truncate(len);
    f.rx_bytes = block;
    f.rx_seen = 16;
    if (f.link_state == 1) {
        f.dl_session = 1;
        if (f.link_phase == 1) f.record_frame();
        if (f.link_phase == 2) f.count_reply();
    }
    if (f.link_state == 2 && f.link_phase == 2) f.port_check_reply();
    if (f.link_phase == 3) f.live_frame();
}

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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tessaro::Form1& f = *g_form;
    reset(f);
    Reader in{data, size};
    while (in.more()) {
        // Each op starts with no reply left on the wire, as after the previous exchange.
        f.due_bytes = 0;
        f.due_until = QDeadlineTimer();
        f.pending_address.reset();
        switch (in.byte() % 10) {
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
    check(f, true);
    return 0;
}
