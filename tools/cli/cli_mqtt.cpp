// tessaro-cli monitor --mqtt: options, the meter's name, the publisher's messages and the exit status.
#include "cli_mqtt.h"

#include "link/live_json.h"
#include "link/live_log.h"
#include "platform/serial_device_map.h"
#include "publish/publish_settings.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace tessaro::cli {

namespace {

using std::chrono::milliseconds;

const QString kCommand = QStringLiteral("monitor");
const QByteArray kPasswordVariable = QByteArrayLiteral("TESSARO_MQTT_PASSWORD");
// The queue holds this much of the broker's absence.
constexpr milliseconds kQueueSpan{10 * 60 * 1000};
// Dropped readings are counted on stderr at most this often.
constexpr std::chrono::seconds kDropReport{60};
// A password file longer than this is not a password file.
constexpr qint64 kMaxPasswordFile = 4096;

void say(const QString& text) { complain(kCommand, QStringLiteral("MQTT: ") + text); }

std::optional<QString> read_password(const QString& path, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--mqtt-password-file: cannot read %1: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = f.read(kMaxPasswordFile + 1);
    if (bytes.size() > kMaxPasswordFile) {
        error = QStringLiteral("--mqtt-password-file: %1 is too long for a password file").arg(path);
        return std::nullopt;
    }
    // The first line, without its line end.
    QByteArray line = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
    if (line.endsWith('\r')) line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

void MqttOptions::addTo(QCommandLineParser& parser) const {
    for (const auto& o : {url, name, password_file, cafile, ha_discovery, ha_prefix, required}) parser.addOption(o);
}

std::optional<MqttRequest> mqtt_request(const QCommandLineParser& parser, const MqttOptions& o, milliseconds interval,
                                        QString& error) {
    MqttRequest request;
    if (!parser.isSet(o.url)) {
        for (const auto* only : {&o.name, &o.password_file, &o.cafile, &o.ha_discovery, &o.ha_prefix, &o.required}) {
            if (parser.isSet(*only)) {
                error = QStringLiteral("--%1 needs --mqtt").arg(only->names().constFirst());
                return std::nullopt;
            }
        }
        return request;
    }
    MqttSettings s;
    const auto target = parse_mqtt_url(parser.value(o.url), error);
    if (!target) {
        error = QStringLiteral("--mqtt: ") + error;
        return std::nullopt;
    }
    s.target = *target;
    if (parser.isSet(o.name)) {
        s.name = parser.value(o.name);
        if (!valid_meter_name(s.name)) {
            error = QStringLiteral("--name: 1 to 64 of the letters A-Z a-z, digits, _ and -");
            return std::nullopt;
        }
    }
    if (parser.isSet(o.password_file)) {
        const auto password = read_password(parser.value(o.password_file), error);
        if (!password) return std::nullopt;
        s.password = *password;
    } else if (qEnvironmentVariableIsSet(kPasswordVariable.constData())) {
        s.password = qEnvironmentVariable(kPasswordVariable.constData());
    }
    if (!s.password.isEmpty() && s.target.user.isEmpty()) {
        error = QStringLiteral("--mqtt: a password needs a user name in the URL (mqtt://user@host)");
        return std::nullopt;
    }
    if (parser.isSet(o.cafile)) {
        if (!s.target.tls) {
            error = QStringLiteral("--mqtt-cafile is for mqtts:// URLs");
            return std::nullopt;
        }
        s.cafile = parser.value(o.cafile);
        if (!QFileInfo(s.cafile).isReadable()) {
            error = QStringLiteral("--mqtt-cafile: cannot read %1").arg(s.cafile);
            return std::nullopt;
        }
    }
    s.ha_discovery = parser.isSet(o.ha_discovery);
    if (parser.isSet(o.ha_prefix)) {
        QString unused;
        s.discovery_prefix = parser.value(o.ha_prefix);
        if (!parse_mqtt_url(QStringLiteral("mqtt://h/") + s.discovery_prefix, unused) || s.discovery_prefix.isEmpty()) {
            error = QStringLiteral("--ha-prefix: topic levels without wildcards or empty levels");
            return std::nullopt;
        }
    }
    s.version = QStringLiteral(TESSARO_VERSION);
    s.queue_limit = static_cast<int>(std::max<milliseconds::rep>(1, kQueueSpan / interval));
    request.settings = s;
    request.required = parser.isSet(o.required);
    return request;
}

MonitorMqtt::MonitorMqtt(const MqttRequest& request, const PortChoice& choice, const QString& device_path)
    : choice_(choice), device_(device_path), required_(request.required) {
    MqttSettings s = *request.settings;
    if (s.name.isEmpty()) s.name = default_meter_name(choice.number, device_path);
    publisher_ = std::make_unique<MqttPublisher>(s);

    connect(publisher_.get(), &MqttPublisher::problem, this, [this](MqttProblem, const QString& text) {
        told_problem_ = true;
        if (required_) {
            if (!failed_) {
                failed_ = true;
                failure_ = QStringLiteral("MQTT: ") + text;
                if (on_required_failure) on_required_failure();
            }
            return;
        }
        say(QStringLiteral("%1; readings are kept (up to %2) and sent once it is back")
                .arg(text)
                .arg(publisher_->settings().queue_limit));
    });
    connect(publisher_.get(), &MqttPublisher::stateChanged, this, [this](MqttState state) {
        if (state != MqttState::Connected || !told_problem_) return;
        told_problem_ = false;
        const MqttStatus st = publisher_->status();
        say(st.dropped > 0 ? QStringLiteral("publishing again; %1 readings were dropped so far").arg(st.dropped)
                           : QStringLiteral("publishing again, no reading lost"));
    });
    connect(publisher_.get(), &MqttPublisher::readingsDropped, this, [this](qint64 total) {
        const auto now = std::chrono::steady_clock::now();
        if (total > 1 && now - told_drops_at_ < kDropReport) return;
        told_drops_at_ = now;
        say(QStringLiteral("the queue is full (%1 readings); %2 of the oldest dropped so far")
                .arg(publisher_->settings().queue_limit)
                .arg(total));
        if (required_ && !failed_) {
            failed_ = true;
            failure_ = QStringLiteral("MQTT: readings were dropped");
            if (on_required_failure) on_required_failure();
        }
    });
}

MonitorMqtt::~MonitorMqtt() = default;

bool MonitorMqtt::start() {
    publishMeter();
    if (publisher_->start()) return true;
    failed_ = true;
    failure_ = QStringLiteral("MQTT: ") + publisher_->status().problem_text;
    return false;
}

void MonitorMqtt::reading(const LiveLogReading& r) { publisher_->publishReading(live_json_line(r).chopped(1)); }

void MonitorMqtt::link(const QString& state) {
    link_ = state;
    publishMeter();
}

void MonitorMqtt::publishMeter() {
    const QJsonObject meter{
        {"name", publisher_->settings().name},
        {"port", choice_.number > 0 ? QJsonValue(choice_.number) : QJsonValue()},
        {"device", device_},
        {"stable_device", stable_device_path(device_)},
        {"link", link_},
        {"program", QStringLiteral("tessaro-cli monitor")},
        {"version", publisher_->settings().version},
    };
    publisher_->setMeterInfo(QJsonDocument(meter).toJson(QJsonDocument::Compact));
}

int MonitorMqtt::finish() {
    publisher_->stop();
    const MqttStatus st = publisher_->status();
    if (st.dropped > 0 || st.queued > 0) {
        say(QStringLiteral("%1 readings published, %2 dropped from the full queue, %3 still queued not published")
                .arg(st.published)
                .arg(st.dropped)
                .arg(st.queued));
    }
    if (failed_) {
        complain(kCommand, failure_);
        return kFailure;
    }
    return required_ && (st.dropped > 0 || st.queued > 0) ? kFailure : kSuccess;
}

} // namespace tessaro::cli
