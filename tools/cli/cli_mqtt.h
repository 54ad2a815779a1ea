// tessaro-cli monitor --mqtt: the options, the publisher beside the local outputs, its messages and exit status.
#pragma once

#include "cli_common.h"
#include "publish/mqtt_publisher.h"

#include <QCommandLineOption>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QCommandLineParser;

namespace tessaro {

struct LiveLogReading;

namespace cli {

struct MqttOptions {
    QCommandLineOption url{QStringLiteral("mqtt"),
                           QStringLiteral("Also publish every reading to the MQTT broker at URL: "
                                          "mqtt://[user@]host[:port][/prefix] or mqtts://... (TLS)."),
                           QStringLiteral("URL")};
    QCommandLineOption name{QStringLiteral("name"),
                            QStringLiteral("The meter's name in topics and the client id (A-Z a-z 0-9 _ -; "
                                           "default: the device's by-id name, else portN)."),
                            QStringLiteral("NAME")};
    QCommandLineOption password_file{QStringLiteral("mqtt-password-file"),
                                     QStringLiteral("The broker password is the first line of FILE "
                                                    "(else TESSARO_MQTT_PASSWORD)."),
                                     QStringLiteral("FILE")};
    QCommandLineOption cafile{QStringLiteral("mqtt-cafile"),
                              QStringLiteral("mqtts: trust the CA certificates in FILE (default: the system's)."),
                              QStringLiteral("FILE")};
    QCommandLineOption ha_discovery{QStringLiteral("ha-discovery"),
                                    QStringLiteral("Announce the meter to Home Assistant (MQTT discovery).")};
    QCommandLineOption ha_prefix{QStringLiteral("ha-prefix"),
                                 QStringLiteral("Home Assistant's discovery prefix (default homeassistant)."),
                                 QStringLiteral("PREFIX")};
    QCommandLineOption required{QStringLiteral("mqtt-required"),
                                QStringLiteral("Broker trouble is a failure: end at the first one, status 2.")};
    void addTo(QCommandLineParser& parser) const;
};

// What the command line says about publishing, checked before the port is opened.
struct MqttRequest {
    std::optional<MqttSettings> settings; // none without --mqtt; its name is empty for the default
    bool required = false;
};
// nullopt with `error` set for a bad command line (status 1); a request (maybe without --mqtt) otherwise.
std::optional<MqttRequest> mqtt_request(const QCommandLineParser& parser, const MqttOptions& options,
                                        std::chrono::milliseconds interval, QString& error);

// The publisher of one monitor run and what it tells the operator on stderr.
class MonitorMqtt : public QObject {
public:
    MonitorMqtt(const MqttRequest& request, const PortChoice& choice, const QString& device_path);
    ~MonitorMqtt() override;

    // Starts publishing; false (with the reason told) when the client cannot be set up.
    bool start();
    // With --mqtt-required, called once at the first broker problem.
    std::function<void()> on_required_failure;

    void reading(const LiveLogReading& reading);
    void link(const QString& state);
    // Says goodbye to the broker and tells what was not published; the exit status of publishing.
    int finish();

private:
    void publishMeter();

    std::unique_ptr<MqttPublisher> publisher_;
    PortChoice choice_;
    QString device_;
    QString link_ = QStringLiteral("port open");
    bool required_ = false;
    bool failed_ = false;
    QString failure_;
    bool told_problem_ = false;
    std::chrono::steady_clock::time_point told_drops_at_{};
};

} // namespace cli
} // namespace tessaro
