// The figures measured inside one process: the real window and the simulator on a pseudo-terminal.
#include "bench_figures.h"

#include "bench_env.h"

#include "app/form1.h"
#include "link/live_reading.h"
#include "link/mscomm.h"
#include "link/port_choice.h"
#include "meter_sim.h"
#include "platform/paths.h"
#include "platform/regular_file.h"
#include "records/records_csv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

namespace tessaro::bench {

namespace {

constexpr int kRecords = 4600;
constexpr int kLiveWindow = 401;
constexpr int kMeterPort = 1;
// 2 request bytes + 2 request bytes... : a pair is a 4-byte request and two 8-byte frames,
// 10 bits a byte at 4800 bit/s.
constexpr double kPairWireSeconds = 20.0 * 10.0 / 4800.0;
constexpr int kConnectTimeoutMs = 10'000;

double fail(const QString& name, const QString& why) {
    std::fprintf(stderr, "tessaro-bench: %s: %s\n", qPrintable(name), qPrintable(why));
    return std::numeric_limits<double>::quiet_NaN();
}

// CPU time of this process so far (every thread), to tell the program's cost from a busy machine.
double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ms_since(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

// The simulated meter on a thread of its own, as a real meter is a device of its own: it reads
// each request as soon as it is on the line and sends on its own schedule, never waiting for the
// window to finish a repaint on the program's thread.
class MeterThread {
  public:
    explicit MeterThread(const MeterSimOptions& options) {
        thread_.start();
        home_.moveToThread(&thread_);
        QMetaObject::invokeMethod(&home_, [&] {
            sim_ = std::make_unique<MeterSim>(options);
            if (!sim_->start()) error_ = sim_->errorString();
        }, Qt::BlockingQueuedConnection);
    }
    ~MeterThread() {
        QMetaObject::invokeMethod(&home_, [this] {
            sim_->stop();
            sim_.reset();
        }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    MeterSim* get() const { return sim_.get(); }
    QString error() const { return error_; }

  private:
    QThread thread_;
    QObject home_;
    std::unique_ptr<MeterSim> sim_;
    QString error_;
};

// The main window as the operator has it: port 1 chosen, the simulated meter behind it,
// the link up ("Connect Success") before anything is measured.
struct Bench {
    std::unique_ptr<MeterThread> sim;
    std::unique_ptr<Form1> form;
    QString error;

    explicit Bench(bool paced, bool with_meter = true) {
        if (with_meter) {
            MeterSimOptions o;
            o.link = paths::port_map_entry(kMeterPort);
            o.records = generateRecords(kRecords, 1);
            o.pacing = paced;
            sim = std::make_unique<MeterThread>(o);
            if (!sim->error().isEmpty()) {
                error = sim->error();
                return;
            }
        }
        QDir().mkpath(paths::config_dir());
        if (!write_port_file(paths::port_file(), kMeterPort)) {
            error = QStringLiteral("cannot write the port file");
            return;
        }
        form = std::make_unique<Form1>();
        form->show_loaded();
        if (with_meter && !connected()) error = QStringLiteral("the link did not come up");
    }
    ~Bench() {
        form.reset();
        sim.reset();
    }
    bool ok() const { return error.isEmpty(); }

    // Link idle and answered: what the operator sees before clicking.
    bool connected() {
        return wait_until([this] { return form->Text40->text() == QLatin1String("Connect Success") && form->link_state == 2; },
                          kConnectTimeoutMs);
    }

    // The records as a download leaves them, slots 0..4599.
    void fill_records() {
        const QList<QByteArray> frames = generateRecords(kRecords, 1);
        form->clear_records();
        for (int s = 0; s < frames.size(); ++s)
            form->store_record(s, reinterpret_cast<const uint8_t*>(frames[s].constData()));
        form->count_records();
    }
};

// The history view with 4600 records, the operator installed and saving to `file` in the save
// folder; nullptr, with the figure failed, when the window could not be made.
std::unique_ptr<Bench> history_with_records(BenchUser& user, bool with_meter, const QString& file, Figure& fig) {
    set_user_seam(&user);
    auto b = std::make_unique<Bench>(true, with_meter);
    if (!b->ok()) {
        set_user_seam(nullptr);
        fig.value = fail(fig.name, b->error);
        return nullptr;
    }
    b->form->Command9_Click();
    b->fill_records();
    QDir().mkpath(paths::save_folder());
    user.save_name = paths::save_folder() + QLatin1Char('/') + file;
    return b;
}

Figure download(const QString& name, bool paced, int runs) {
    Figure fig{name, 0.0, paced ? QStringLiteral("ratio") : QStringLiteral("s"), 3};
    Bench b(paced);
    if (!b.ok()) return fig.value = fail(name, b.error), fig;
    b.form->Command9_Click(); // the history view: Command5 reads "Read"

    // The program's reaction: from the simulator's last write of a reply to the first byte of the
    // next record request, on the simulator's clock. What remains over the wire time is the
    // simulator's own timer lateness.
    // Both handlers run on the meter's thread and may outlive this function's locals.
    const qint64 byte_ns = paced ? MeterSim::kByteNs : 0;
    struct Reaction {
        std::atomic<qint64> last_write_ns = -1;
        std::atomic<qint64> total_ns = 0;
        std::atomic<int> count = 0;
    };
    const auto reaction = std::make_shared<Reaction>();
    QObject::connect(b.sim->get(), &MeterSim::bytesWritten,
                     [reaction](const QByteArray&, qint64 at) { reaction->last_write_ns = at; });
    QObject::connect(b.sim->get(), &MeterSim::requestHandled, [reaction, byte_ns](const MeterRequest& r) {
        const qint64 last = reaction->last_write_ns;
        if (r.kind != RequestKind::RecordPair || r.address == MeterSim::kFirstPairAddress || last < 0) return;
        reaction->total_ns += r.arrivalNs - 4 * byte_ns - last;
        ++reaction->count;
    });
    const int timeout_ms = paced ? 300'000 : 60'000;
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        if (!b.connected()) return fig.value = fail(name, QStringLiteral("the link did not come back")), fig;
        const double cpu0 = cpu_seconds();
        reaction->total_ns = 0;
        reaction->count = 0;
        QElapsedTimer t;
        t.start();
        b.form->Command5_Click();
        const bool ended = wait_until([&] { return b.form->link_state == 2; }, timeout_ms);
        const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
        b.form->count_records();
        if (!ended || b.form->ji_ge - 1 != kRecords)
            return fig.value = fail(name, QStringLiteral("download ended with %1 records").arg(b.form->ji_ge - 1)), fig;
        // The simulator runs in this process too: its share is in the CPU time.
        const double total_ns = static_cast<double>(reaction->total_ns);
        const int count = reaction->count;
        std::fprintf(stderr, "tessaro-bench: %s run %d: %.3f s (CPU %.3f s; reply to next request %.3f ms a pair, %.3f s in all)\n",
                     qPrintable(name), run + 1, s, cpu_seconds() - cpu0, count ? total_ns / count / 1e6 : 0.0,
                     total_ns / 1e9);
        seconds.push_back(s);
    }
    const double m = median(seconds);
    fig.value = paced ? m / (kRecords / 2 * kPairWireSeconds) : m;
    return fig;
}

template <typename Body>
std::vector<double> time_ms(int runs, Body body) {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QCoreApplication::processEvents(); // repaints and link events between calls, not timed
        QElapsedTimer t;
        t.start();
        body();
        ms.push_back(ms_since(t));
    }
    return ms;
}

bool snapshot_written(const QString& name) {
    const QFileInfo snap(paths::snapshot_file());
    if (snap.exists() && snap.size() > 0) return true;
    fail(name, QStringLiteral("no snapshot at %1").arg(snap.filePath()));
    return false;
}

} // namespace

Figure download_instant_s(int runs) { return download(QStringLiteral("download_instant_s"), false, runs); }

Figure download_paced_ratio(int runs) { return download(QStringLiteral("download_paced_ratio"), true, runs); }

Figure draw_chart_live_ms(int runs) {
    const QString name = QStringLiteral("draw_chart_live_ms");
    Figure fig{name, 0.0, QStringLiteral("ms")};
    Bench b(true);
    if (!b.ok()) return fig.value = fail(name, b.error), fig;
    // The realtime view, its window full of readings around 12.34 A.
    for (int i = 0; i < kLiveWindow; ++i) {
        const int count = 1234 + static_cast<int>(300 * std::sin(2 * std::numbers::pi * i / 100.0));
        enter_sample(b.form->live_samples, *live_sample_value(count, 0x41));
    }
    QFile::remove(paths::snapshot_file());
    fig.value = median(time_ms(runs, [&] { b.form->draw_chart(); }));
    if (!snapshot_written(name)) fig.value = std::numeric_limits<double>::quiet_NaN();
    return fig;
}

Figure draw_chart_curve_ms(int runs) {
    const QString name = QStringLiteral("draw_chart_curve_ms");
    Figure fig{name, 0.0, QStringLiteral("ms")};
    Bench b(true);
    if (!b.ok()) return fig.value = fail(name, b.error), fig;
    b.form->Command9_Click();
    b.fill_records();
    b.form->Command15_Click(); // the curve view over every record
    if (b.form->curve_to < kRecords) return fig.value = fail(name, QStringLiteral("curve view is not over 4600 records")), fig;
    QFile::remove(paths::snapshot_file());
    fig.value = median(time_ms(runs, [&] { b.form->draw_chart(); }));
    if (!snapshot_written(name)) fig.value = std::numeric_limits<double>::quiet_NaN();
    return fig;
}

Figure sort_4600_ms(int runs) {
    const QString name = QStringLiteral("sort_4600_ms");
    Figure fig{name, 0.0, QStringLiteral("ms")};
    Bench b(true);
    if (!b.ok()) return fig.value = fail(name, b.error), fig;
    b.form->Command9_Click();
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        b.fill_records();
        b.form->show_page(1);
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        b.form->Command12_Click();
        ms.push_back(ms_since(t));
        if (b.form->sorting) return fig.value = fail(name, QStringLiteral("the sort did not end")), fig;
    }
    fig.value = median(ms);
    return fig;
}

Figure report_4600_ms(int runs) {
    const QString name = QStringLiteral("report_4600_ms");
    Figure fig{name, 0.0, QStringLiteral("ms")};
    BenchUser user;
    const auto bench = history_with_records(user, true, QStringLiteral("bench.xls"), fig);
    if (!bench) return fig;
    Bench& b = *bench;
    fig.value = median(time_ms(runs, [&] { b.form->Command1_Click(); }));
    const QFileInfo report(user.save_name);
    if (user.messages > 0 || !report.exists() || report.size() < kRecords * 20)
        fig.value = fail(name, QStringLiteral("no report of 4600 records (%1 bytes, %2)").arg(report.size()).arg(user.last_message));
    set_user_seam(nullptr);
    return fig;
}

Figure open_csv_4600_ms(int runs) {
    const QString name = QStringLiteral("open_csv_4600_ms");
    Figure fig{name, 0.0, QStringLiteral("ms")};
    BenchUser user;
    // No meter: nothing but the file comes in.
    const auto bench = history_with_records(user, false, QStringLiteral("bench.csv"), fig);
    if (!bench) return fig;
    Bench& b = *bench;
    b.form->export_records_csv();
    user.open_name = user.save_name;
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        // An empty table asks nothing before opening.
        b.form->clear_records();
        b.form->count_records();
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        b.form->open_records_csv();
        ms.push_back(ms_since(t));
    }
    fig.value = median(ms);
    if (user.messages > 0 || b.form->ji_ge != kRecords + 1)
        fig.value = fail(name, QStringLiteral("the file did not open whole (%1 records, %2)").arg(b.form->ji_ge - 1).arg(user.last_message));
    set_user_seam(nullptr);
    return fig;
}

namespace {

// A "Vm...:" line of /proc/self/status in KiB; -1 when it cannot be read.
long status_kib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ':';
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

} // namespace

Figure open_csv_worst_mb(int runs) {
    const QString name = QStringLiteral("open_csv_worst_mb");
    Figure fig{name, 0.0, QStringLiteral("MB"), 1};
    const QString file = QDir::tempPath() + QStringLiteral("/tessaro-bench-worst-%1.csv").arg(::getpid());
    {
        QFile out(file);
        QByteArray bytes = "record,time,current_a,shown,count,range_code,mark,year,month,day,hour,minute\r\n";
        bytes += QByteArray(kMaxRecordsFileBytes - bytes.size() - 3, ',') + "x\r\n";
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) return fig.value = fail(name, out.errorString()), fig;
    }
    std::vector<double> mb;
    for (int run = 0; run < runs; ++run) {
        int pipe_fds[2];
        if (::pipe(pipe_fds) != 0) break;
        const pid_t child = ::fork();
        if (child == 0) {
            // A process of its own, so its high-water mark is this reading's alone.
            const long before = status_kib("VmRSS");
            const auto bytes = read_regular_file(file, kMaxRecordsFileBytes);
            const bool refused = std::holds_alternative<QByteArray>(bytes) &&
                                 std::holds_alternative<CsvRefusal>(read_records_csv(std::get<QByteArray>(bytes)));
            const double grown = refused ? (status_kib("VmHWM") - before) / 1024.0 : -1.0;
            if (::write(pipe_fds[1], &grown, sizeof grown) != sizeof grown) ::_exit(1);
            ::_exit(0);
        }
        ::close(pipe_fds[1]);
        double grown = -1.0;
        const bool got = child > 0 && ::read(pipe_fds[0], &grown, sizeof grown) == sizeof grown;
        ::close(pipe_fds[0]);
        if (child > 0) ::waitpid(child, nullptr, 0);
        if (!got || grown < 0) {
            QFile::remove(file);
            return fig.value = fail(name, QStringLiteral("the worst file was not read and refused")), fig;
        }
        mb.push_back(grown);
    }
    QFile::remove(file);
    fig.value = median(mb);
    return fig;
}

} // namespace tessaro::bench
