// tessaro-cli monitor: live readings as live-log CSV lines or JSON lines, to stdout or a crash-safe file.
#include "cli_commands.h"
#include "cli_common.h"
#include "cli_mqtt.h"
#include "meter_session.h"

#include "link/live_json.h"
#include "link/live_log.h"
#include "link/live_reading.h"
#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "platform/safe_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

#include <unistd.h>

namespace tessaro::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr milliseconds kDefaultInterval{500}; // the window's live poll
constexpr milliseconds kMinInterval{100};
constexpr seconds kStartWait{10}; // a meter must answer within this at the start

const QString kCommand = QStringLiteral("monitor");

class Monitor : public QObject {
public:
    Monitor(MSComm& port, const PortChoice& choice, milliseconds interval, bool json, LiveLog* log)
        : session_(port, choice), json_(json), log_(log) {
        connect(&session_, &MeterSession::reply, this, &Monitor::onReply);
        connect(&session_, &MeterSession::timedOut, this, &Monitor::onSilence);
        poll_.setInterval(interval);
        connect(&poll_, &QTimer::timeout, this, &Monitor::poll);
    }

    void start() {
        since_answer_.start();
        session_.request(kPortCheckAddress);
    }
    // SIGINT, SIGTERM or the end of --duration: the log is finished and the program ends well.
    void stop() { end(kSuccess, {}); }

    int status = kSuccess;
    QString reason;
    qint64 readings = 0;
    std::function<void(const LiveLogReading&)> on_reading; // each reading, beside the local output
    std::function<void(const QString&)> on_link;           // the link's state in words

private:
    void end(int code, const QString& why) {
        poll_.stop();
        if (status == kSuccess) {
            status = code;
            reason = why;
        }
        QCoreApplication::exit(status);
    }

    void poll() {
        if (!session_.waiting()) session_.request(kLiveAddress);
    }

    void onReply(uint16_t address, const QByteArray& bytes) {
        if (address == kPortCheckAddress) {
            if (!is_port_check_answer(bytes)) return onSilence(address);
            if (!poll_.isActive()) {
                poll_.start();
                poll();
            }
            return;
        }
        since_answer_.start();
        if (silent_) {
            std::fputs("tessaro-cli monitor: the meter answers again\n", stderr);
            if (on_link) on_link(QStringLiteral("meter answers"));
            silent_ = false;
        }
        const LiveFrame frame = decode_live_frame(bytes);
        if (!carries_reading(frame)) return;
        LiveLogReading r;
        r.time = QDateTime::currentDateTime();
        r.count = frame.count;
        r.range = frame.range;
        r.low_batt = frame.low_batt;
        const QByteArray line = json_ ? live_json_line(r) : live_log_line(r);
        if (log_) {
            if (const auto why = log_->append(line))
                return end(kFailure, QStringLiteral("cannot write %1: %2").arg(log_->path(), *why));
        } else if (!write_fully(STDOUT_FILENO, line.constData(), line.size())) {
            return end(kFailure, QStringLiteral("cannot write the readings: %1").arg(reason_text(errno)));
        }
        ++readings;
        if (on_reading) on_reading(r);
    }

    void onSilence(uint16_t address) {
        if (!poll_.isActive()) {
            // Not one good port check yet: the start waits a little for the meter, then gives up.
            if (milliseconds(since_answer_.elapsed()) >= kStartWait)
                return end(kFailure, QStringLiteral("no meter answers"));
            session_.request(kPortCheckAddress);
            return;
        }
        if (!silent_ && address == kLiveAddress) {
            std::fputs("tessaro-cli monitor: no answer from the meter; still asking\n", stderr);
            if (on_link) on_link(QStringLiteral("no answer from the meter"));
            silent_ = true;
        }
    }

    MeterSession session_;
    bool json_;
    LiveLog* log_;
    QTimer poll_;
    QElapsedTimer since_answer_;
    bool silent_ = false;
};

} // namespace

int run_monitor(QCoreApplication& app, const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Asks the meter for its reading every interval and writes one line a reading: the live log's CSV\n"
        "(time, current_a, shown, overload, low_battery, alarm) or, with --json, one JSON object a line.\n"
        "With -o the lines are appended to FILE, each written through at once and synced at least every\n"
        "10 s. Ends on SIGINT or SIGTERM or after --duration, with the file complete."));
    PortOptions port_options;
    port_options.addTo(parser);
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Milliseconds between readings (default 500, at least 100)."),
                                      QStringLiteral("MS"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Stop after S seconds."),
                                      QStringLiteral("S"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Append the lines to FILE (a CSV log is continued)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("JSON lines instead of CSV."));
    for (const auto& o : {interval, duration, output, json}) parser.addOption(o);
    const MqttOptions mqtt_options;
    mqtt_options.addTo(parser);
    if (const auto status = parse(parser, kCommand, args)) return *status;

    QString error;
    const auto choice = port_choice(parser, port_options, error);
    if (!choice) {
        complain(kCommand, error);
        return kUsage;
    }
    std::optional<long long> interval_ms = kDefaultInterval.count();
    if (parser.isSet(interval)) interval_ms = whole_number(parser.value(interval), kMinInterval.count(), 3'600'000);
    if (!interval_ms) {
        complain(kCommand, QStringLiteral("--interval: expected whole milliseconds from 100 to 3600000"));
        return kUsage;
    }
    std::optional<long long> duration_s;
    if (parser.isSet(duration)) {
        duration_s = whole_number(parser.value(duration), 1, 366LL * 24 * 3600);
        if (!duration_s) {
            complain(kCommand, QStringLiteral("--duration: expected whole seconds, at least 1"));
            return kUsage;
        }
    }
    if (parser.isSet(output) && parser.value(output).isEmpty()) {
        complain(kCommand, QStringLiteral("-o: the file name is empty"));
        return kUsage;
    }

    QString mqtt_error;
    const auto mqtt_wanted = mqtt_request(parser, mqtt_options, milliseconds(*interval_ms), mqtt_error);
    if (!mqtt_wanted) {
        complain(kCommand, mqtt_error);
        return kUsage;
    }

    MSComm port;
    if (const auto why = open_port(port, *choice)) {
        complain(kCommand, *why);
        return kFailure;
    }
    std::unique_ptr<MonitorMqtt> mqtt;
    if (mqtt_wanted->settings) mqtt = std::make_unique<MonitorMqtt>(*mqtt_wanted, *choice, port.devicePath());
    LiveLog log;
    if (parser.isSet(output)) {
        const auto why = parser.isSet(json) ? log.open(parser.value(output), QByteArray())
                                            : log.open(parser.value(output));
        if (why) {
            complain(kCommand, QStringLiteral("cannot open %1: %2").arg(parser.value(output), *why));
            return kFailure;
        }
    } else if (!parser.isSet(json)) {
        const QByteArray header = live_log_header();
        if (!write_fully(STDOUT_FILENO, header.constData(), header.size())) {
            complain(kCommand, QStringLiteral("cannot write the readings: %1").arg(reason_text(errno)));
            return kFailure;
        }
    }

    Monitor monitor(port, *choice, milliseconds(*interval_ms), parser.isSet(json), log.is_open() ? &log : nullptr);
    catch_quit_signals(app, [&] { monitor.stop(); });
    if (mqtt) {
        monitor.on_reading = [&](const LiveLogReading& r) { mqtt->reading(r); };
        monitor.on_link = [&](const QString& state) { mqtt->link(state); };
        mqtt->on_required_failure = [&] { monitor.stop(); };
        if (!mqtt->start()) return mqtt->finish();
    }
    if (duration_s) QTimer::singleShot(seconds(*duration_s), &app, [&] { monitor.stop(); });
    monitor.start();
    app.exec();
    port.setPortOpen(false);
    const int published = mqtt ? mqtt->finish() : kSuccess;
    if (const auto why = log.close(); why && monitor.status == kSuccess) {
        complain(kCommand, QStringLiteral("cannot finish %1: %2").arg(parser.value(output), *why));
        return kFailure;
    }
    if (monitor.status != kSuccess) complain(kCommand, monitor.reason);
    return monitor.status != kSuccess ? monitor.status : published;
}

} // namespace tessaro::cli
