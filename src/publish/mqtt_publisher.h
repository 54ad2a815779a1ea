// The MQTT publisher: readings, status and meter messages to one broker, never blocking its caller.
#pragma once

#include "publish/mqtt_target.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

class QSocketNotifier;
struct mosquitto;

namespace tessaro {

struct MqttConnectJob;

// Readings kept while the broker is away: about 10 minutes at the live poll's 500 ms.
inline constexpr int kDefaultMqttQueue = 1200;

struct MqttSettings {
    MqttTarget target;
    QString password;           // empty: none is sent
    QString cafile;             // mqtts: the CA certificates to trust; empty: the system's
    QString name;               // the meter's name in topics and the client id
    bool ha_discovery = false;
    QString discovery_prefix = kDefaultDiscoveryPrefix;
    QString version;            // the program's, for Home Assistant's device entry
    int queue_limit = kDefaultMqttQueue;
};

enum class MqttState {
    Stopped,
    Connecting,   // an attempt runs: name lookup, TCP, TLS, waiting for the broker's answer
    Connected,
    Waiting,      // the attempt failed or the connection was lost; the next one is due later
};

// What went wrong with the broker, each with one text for the operator.
enum class MqttProblem {
    None,
    UnknownHost,   // the name does not resolve
    Unreachable,   // no TCP connection (refused, no route, no answer in time)
    BadLogin,      // the broker refused the user name or password
    NotAuthorized, // the broker refused this client
    Refused,       // another refusal from the broker
    Tls,           // the TLS handshake failed (certificate not trusted, wrong host name, not TLS)
    CaFile,        // the CA file cannot be used
    Lost,          // an established connection broke
};
QString mqtt_problem_text(MqttProblem problem, const MqttTarget& target, const QString& detail);

struct MqttStatus {
    MqttState state = MqttState::Stopped;
    qsizetype queued = 0;     // readings waiting for the broker
    qint64 published = 0;     // readings handed to the connection
    qint64 dropped = 0;       // oldest readings dropped from a full queue
    MqttProblem problem = MqttProblem::None; // the last one, kept until the next connection
    QString problem_text;
};

// The state in words for tooltips: "Publishing to mqtt://host/tessaro as port3: connected, 12 readings published".
QString mqtt_status_text(const MqttStatus& status, const MqttSettings& settings);

// A QObject around one libmosquitto client, driven by the caller's event loop: socket notifiers
// for reading and writing and a timer for keep-alive pings and the time limit of an attempt.
// Readings go into a bounded queue that is emptied while connected; the oldest are dropped when
// it is full. A lost or refused connection is tried again after 1 s, 2 s, 4 s ... up to 30 s.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    explicit MqttPublisher(MqttSettings settings, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Starts the first connection attempt. False with the problem when the client cannot be set up
    // (a CA file that cannot be read); nothing runs then.
    bool start();
    // Queues one reading (a JSON object) for PREFIX/NAME/reading.
    void publishReading(const QByteArray& json);
    // What the link knows, published retained on PREFIX/NAME/meter now and after every reconnect.
    void setMeterInfo(const QByteArray& json);
    // Publishes "offline", says goodbye to the broker and lets go, without waiting for anything.
    // Readings still queued are not published (status().queued says how many).
    void stop();

    MqttStatus status() const;
    const MqttSettings& settings() const { return settings_; }
    const MqttTopics& topics() const { return topics_; }

signals:
    void stateChanged(tessaro::MqttState state);
    // Once for each new problem; the same problem again is not told until a connection succeeded.
    void problem(tessaro::MqttProblem problem, const QString& text);
    // The queue was full and the oldest reading was dropped; total dropped so far.
    void readingsDropped(qint64 total);

private:
    static void onConnectCallback(mosquitto* mosq, void* self, int rc);

    void beginAttempt();
    void attemptDone(const std::shared_ptr<MqttConnectJob>& job);
    void watchSocket();
    void dropSocket();
    void onReadable();
    void onWritable();
    void housekeeping();
    void afterIo(int rc);
    void connectionFailed(MqttProblem problem, const QString& detail);
    void connected();
    void flushQueue();
    void publishRetained(const QString& topic, const QByteArray& payload);
    void setState(MqttState state);
    bool configure(mosquitto* mosq);
    mosquitto* newClient();

    MqttSettings settings_;
    MqttTopics topics_;
    QByteArray reading_topic_;
    mosquitto* mosq_ = nullptr; // null while a connection attempt holds it on its thread
    int socket_ = -1;
    QSocketNotifier* read_notifier_ = nullptr;
    QSocketNotifier* write_notifier_ = nullptr;
    QTimer housekeeping_;
    QTimer retry_;
    QElapsedTimer attempt_clock_;
    std::chrono::seconds backoff_;
    MqttState state_ = MqttState::Stopped;
    bool session_up_ = false;      // the broker accepted the connection
    int refusal_ = 0;              // the broker's refusal code from its answer, 0 for none
    bool attempt_running_ = false;
    bool stopping_ = false;
    std::deque<QByteArray> queue_;
    QByteArray meter_info_;
    qint64 published_ = 0;
    qint64 dropped_ = 0;
    MqttProblem problem_ = MqttProblem::None;
    QString problem_text_;
};

} // namespace tessaro
