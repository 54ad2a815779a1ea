// tessaro-cli monitor: live readings as live-log CSV lines or JSON lines, to stdout or a crash-safe file.
#include "cli_commands.h"
#include "cli_common.h"
#include "cli_mqtt.h"
#include "meter_session.h"

#include "link/live_json.h"
#include "link/live_log.h"
#include "link/alarm_rules.h"
#include "link/live_reading.h"
#include "link/live_stats.h"
#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "platform/safe_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <limits>
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

// Whether a line is one of live_json_line's objects: a JSON lines log is continued only then.
bool is_json_reading(QByteArrayView line) {
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray());
    return doc.isObject() && doc.object().contains(QLatin1String("time")) &&
           doc.object().contains(QLatin1String("current_a"));
}

// What the command line asks of a monitor run.
struct MonitorSettings {
    PortChoice port;
    milliseconds interval = kDefaultInterval;
    std::optional<milliseconds> duration;
    std::optional<qint64> samples;        // stop after this many readings
    QString file;                         // the log to append to; empty for standard output
    bool json = false;
    bool lf = false;                      // LF line ends on standard output
    bool quiet = false;
    std::optional<int64_t> threshold;     // the alarm limit in 0.01 mA
    QString threshold_text;               // as given, for the alarm message
    bool exit_on_alarm = false;
};

// The options of `tessaro-cli monitor`, and reading them into settings.
struct MonitorOptions {
    PortOptions port;
    QCommandLineOption interval{QStringLiteral("interval"),
                                QStringLiteral("Milliseconds between readings (default 500, at least 100)."),
                                QStringLiteral("MS")};
    QCommandLineOption duration{QStringLiteral("duration"),
                                QStringLiteral("Stop after TIME: seconds (\"90\", \"1.5\") or with a unit\n"
                                               "(\"500ms\", \"10s\", \"15m\", \"2h\", \"7d\"), up to ten years."),
                                QStringLiteral("TIME")};
    QCommandLineOption samples{QStringLiteral("samples"), QStringLiteral("Stop after N readings."),
                               QStringLiteral("N")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("Append the lines to FILE: a log of the same format is continued, any\n"
                                             "other file refused (\"-\" is standard output)."),
                              QStringLiteral("FILE")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("JSON lines instead of CSV.")};
    QCommandLineOption lf{QStringLiteral("lf"),
                          QStringLiteral("LF line ends instead of CR LF on standard output (a file keeps CR LF).")};
    QCommandLineOption threshold{QStringLiteral("threshold"),
                                 QStringLiteral("Fill the alarm column as the window's lock does: a reading at or\n"
                                                "above VALUE is \"alarm\". VALUE is in A, or ends in mA or A (\"250mA\")."),
                                 QStringLiteral("VALUE")};
    QCommandLineOption exit_on_alarm{QStringLiteral("exit-on-alarm"),
                                     QStringLiteral("End with status 3 at the first reading that is an alarm.")};

    void addTo(QCommandLineParser& parser) const {
        port.addTo(parser);
        for (const auto& o : {interval, duration, samples, output, json, lf, threshold, exit_on_alarm})
            parser.addOption(o);
    }

    std::optional<MonitorSettings> read(const QCommandLineParser& parser, QString& error) const {
        MonitorSettings s;
        const auto choice = port_choice(parser, port, error);
        if (!choice) return std::nullopt;
        s.port = *choice;
        if (parser.isSet(interval)) {
            const auto ms = whole_number(parser.value(interval), kMinInterval.count(), 3'600'000);
            if (!ms) return refuse(error, QStringLiteral("--interval: expected whole milliseconds from 100 to 3600000"));
            s.interval = milliseconds(*ms);
        }
        if (parser.isSet(duration)) {
            s.duration = parse_duration(parser.value(duration));
            if (!s.duration)
                return refuse(error, QStringLiteral("--duration: expected seconds (90, 1.5) or a time with a unit "
                                                    "(500ms, 10s, 15m, 2h, 7d), from 1ms to ten years, got \"%1\"")
                                         .arg(parser.value(duration)));
        }
        if (parser.isSet(samples)) {
            s.samples = whole_number(parser.value(samples), 1, std::numeric_limits<qint64>::max());
            if (!s.samples) return refuse(error, QStringLiteral("--samples: expected a whole number, at least 1"));
        }
        if (parser.isSet(output)) {
            if (parser.value(output).isEmpty()) return refuse(error, QStringLiteral("-o: the file name is empty"));
            if (!names_stdout(parser.value(output))) s.file = parser.value(output);
        }
        s.json = parser.isSet(json);
        s.lf = parser.isSet(lf);
        s.quiet = quiet(parser);
        if (parser.isSet(threshold)) {
            s.threshold_text = parser.value(threshold).trimmed();
            s.threshold = threshold_hundredths(s.threshold_text);
            if (!s.threshold)
                return refuse(error, QStringLiteral("--threshold: expected a current such as 2.5, 2.5A or 250mA, got \"%1\"")
                                         .arg(s.threshold_text));
        }
        s.exit_on_alarm = parser.isSet(exit_on_alarm);
        if (s.exit_on_alarm && !s.threshold) return refuse(error, QStringLiteral("--exit-on-alarm needs --threshold"));
        return s;
    }

private:
    static std::optional<MonitorSettings> refuse(QString& error, const QString& why) {
        error = why;
        return std::nullopt;
    }
    // "2.5", "2.5A", "250mA", "250 mA": in 0.01 mA, rounded up as the window's lock does.
    static std::optional<int64_t> threshold_hundredths(QString text) {
        uint8_t unit = kAlarmUnitA;
        if (text.endsWith(QLatin1String("mA"))) {
            unit = kAlarmUnitMilliA;
            text.chop(2);
        } else if (text.endsWith(QLatin1String("A"))) {
            text.chop(1);
        }
        return alarm_limit_hundredths(text, unit);
    }
};

class Monitor : public QObject {
public:
    Monitor(MSComm& port, const MonitorSettings& settings, LiveLog* log)
        : session_(port, settings.port), settings_(settings), log_(log) {
        connect(&session_, &MeterSession::reply, this, &Monitor::onReply);
        connect(&session_, &MeterSession::timedOut, this, &Monitor::onSilence);
        poll_.setInterval(settings.interval);
        connect(&poll_, &QTimer::timeout, this, &Monitor::poll);
    }

    void start() {
        since_answer_.start();
        session_.requestAfterSettling(kPortCheckAddress);
    }
    // SIGINT, SIGTERM, the end of --duration or --samples: the log is finished and the program ends well.
    void stop() { end(kSuccess, {}); }

    int status = kSuccess;
    QString reason;
    qint64 readings = 0;
    bool reader_gone = false; // standard output's reader closed the pipe

    // "42 readings, Min: 1.2mA, Max: 3.4A, Average:2.5mA": the window's statistics labels.
    QString summary() const {
        return QStringLiteral("%1 readings, %2, %3, %4").arg(readings).arg(labels_.min, labels_.max, labels_.avg);
    }
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

    void note(const char* text) const {
        if (!settings_.quiet) std::fprintf(stderr, "tessaro-cli monitor: %s\n", text);
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
            note("the meter answers again");
            if (on_link) on_link(QStringLiteral("meter answers"));
            silent_ = false;
        }
        const LiveFrame frame = decode_live_frame(bytes);
        if (!carries_reading(frame)) return;
        const LiveLogReading r = reading(frame);
        QByteArray line = settings_.json ? live_json_line(r) : live_log_line(r);
        if (log_) {
            if (const auto why = log_->append(line))
                return end(kFailure, QStringLiteral("cannot write %1: %2").arg(log_->path(), *why));
        } else {
            if (settings_.lf) line = lf_lines(line);
            switch (write_stdout(line)) {
            case Written::Yes: break;
            case Written::ReaderGone: reader_gone = true; return stop();
            case Written::Failed:
                return end(kFailure, QStringLiteral("cannot write the readings: %1").arg(reason_text(errno)));
            }
        }
        ++readings;
        if (on_reading) on_reading(r);
        if (r.alarm == AlarmState::Alarm && settings_.exit_on_alarm)
            return end(kAlarm, QStringLiteral("alarm: %1 at or above the threshold %2")
                                   .arg(live_reading_text(r.count, r.range).trimmed(), settings_.threshold_text));
        if (settings_.samples && readings >= *settings_.samples) stop();
    }

    // The reading as logged, its alarm state and the statistics taken as the window takes them.
    LiveLogReading reading(const LiveFrame& frame) {
        LiveLogReading r;
        r.time = QDateTime::currentDateTime();
        r.count = frame.count;
        r.range = frame.range;
        r.low_batt = frame.low_batt;
        stats_.enter(frame.count, frame.range);
        const FrameLabels labels = stats_.labels(frame.count);
        labels_.max = labels.max.text;
        labels_.min = labels.min.text;
        if (labels.avg) labels_.avg = labels.avg->text;
        if (settings_.threshold) {
            // A reading without a known scale leaves the state as it was, as on the window's lamp.
            if (const auto scaled = live_scaled(frame.count, frame.range)) alarm_ = alarm_hit(*scaled, *settings_.threshold);
            r.alarm = alarm_ ? AlarmState::Alarm : AlarmState::Normal;
        }
        return r;
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
            note("no answer from the meter; still asking");
            if (on_link) on_link(QStringLiteral("no answer from the meter"));
            silent_ = true;
        }
    }

    MeterSession session_;
    const MonitorSettings& settings_;
    LiveLog* log_;
    QTimer poll_;
    QElapsedTimer since_answer_;
    bool silent_ = false;
    bool alarm_ = false;
    LiveStats stats_;
    StatLabels labels_ = view_labels({}, {}, {});
};

} // namespace

int run_monitor(QCoreApplication& app, const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Asks the meter for its reading every interval and writes one line a reading: the live log's CSV\n"
        "(time, current_a, shown, overload, low_battery, alarm) or, with --json, one JSON object a line.\n"
        "With -o the lines are appended to FILE, each written through at once and synced at least every\n"
        "10 s. Ends on SIGINT or SIGTERM, after --duration or --samples, or when the reader of standard\n"
        "output goes away, with the file complete; then a summary line goes to standard error."));
    const MonitorOptions options;
    options.addTo(parser);
    const MqttOptions mqtt_options;
    mqtt_options.addTo(parser);
    if (const auto status = parse(parser, kCommand, args)) return *status;
    QString error;
    const auto settings = options.read(parser, error);
    if (!settings) {
        complain(kCommand, error);
        return kUsage;
    }
    if (!settings->file.isEmpty()) {
        if (const auto why = output_refusal(settings->file)) {
            complain(kCommand, QStringLiteral("cannot open %1: %2").arg(settings->file, *why));
            return kFailure;
        }
    }

    QString mqtt_error;
    const auto mqtt_wanted = mqtt_request(parser, mqtt_options, settings->interval, mqtt_error);
    if (!mqtt_wanted) {
        complain(kCommand, mqtt_error);
        return kUsage;
    }

    MSComm port;
    if (const auto why = open_port(port, settings->port)) {
        complain(kCommand, *why);
        return kFailure;
    }
    std::unique_ptr<MonitorMqtt> mqtt;
    if (mqtt_wanted->settings) mqtt = std::make_unique<MonitorMqtt>(*mqtt_wanted, settings->port, port.devicePath());
    LiveLog log;
    if (!settings->file.isEmpty()) {
        const auto why = settings->json ? log.open(settings->file, QByteArray(), is_json_reading) : log.open(settings->file);
        if (why) {
            complain(kCommand, QStringLiteral("cannot open %1: %2").arg(settings->file, *why));
            return kFailure;
        }
    } else if (!settings->json) {
        const QByteArray header = settings->lf ? lf_lines(live_log_header()) : live_log_header();
        switch (write_stdout(header)) {
        case Written::Yes: break;
        case Written::ReaderGone: return kSuccess;
        case Written::Failed:
            complain(kCommand, QStringLiteral("cannot write the readings: %1").arg(reason_text(errno)));
            return kFailure;
        }
    }

    Monitor monitor(port, *settings, log.is_open() ? &log : nullptr);
    catch_quit_signals(app, [&] { monitor.stop(); });
    if (mqtt) {
        monitor.on_reading = [&](const LiveLogReading& r) { mqtt->reading(r); };
        monitor.on_link = [&](const QString& state) { mqtt->link(state); };
        mqtt->on_required_failure = [&] { monitor.stop(); };
        if (!mqtt->start()) return mqtt->finish();
    }
    std::unique_ptr<Deadline> deadline;
    if (settings->duration) deadline = std::make_unique<Deadline>(*settings->duration, [&] { monitor.stop(); });
    monitor.start();
    app.exec();
    port.setPortOpen(false);
    const int published = mqtt ? mqtt->finish() : kSuccess;
    if (const auto why = log.close(); why && monitor.status == kSuccess) {
        complain(kCommand, QStringLiteral("cannot finish %1: %2").arg(settings->file, *why));
        return kFailure;
    }
    // No summary of nothing after a failed start, nor after the reader has gone.
    const bool failed_start = monitor.status == kFailure && monitor.readings == 0;
    if (!settings->quiet && !monitor.reader_gone && !failed_start) {
        std::fprintf(stderr, "tessaro-cli monitor: %s\n", qPrintable(monitor.summary()));
        std::fflush(stderr);
    }
    if (monitor.status == kFailure) complain(kCommand, monitor.reason);
    else if (monitor.status == kAlarm && !settings->quiet) complain(kCommand, monitor.reason);
    return monitor.status != kSuccess ? monitor.status : published;
}

} // namespace tessaro::cli
