// The MQTT publisher: libmosquitto on the caller's event loop, with a bounded queue and growing back-off.
#include "mqtt_publisher.h"

#include "publish/ha_discovery.h"

#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <mosquitto.h>
#include <netdb.h>

namespace tessaro {

using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

constexpr seconds kFirstRetry{1};
constexpr seconds kLongestRetry{30};
constexpr seconds kKeepAlive{30};
// Keep-alive pings are due every 30 s; this tick also ends an attempt the broker never answers.
constexpr milliseconds kHousekeeping{2000};
constexpr seconds kAttemptLimit{15};
// Packets handled per wake-up: readings are small and few; this only bounds one turn of the loop.
constexpr int kPacketsPerTurn = 16;

const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

void init_library() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

// One connection attempt on its own short-lived thread. libmosquitto looks the broker's name up
// with a blocking getaddrinfo inside mosquitto_connect_async, which may take many seconds when
// the name server is slow or gone; on the caller's thread that would stall the serial link.
// The client handle belongs to the job while it runs (nobody else touches it) and comes back
// with the result; a job whose publisher is gone destroys the handle itself.
struct MqttConnectJob {
    mosquitto* mosq = nullptr;
    QByteArray host;
    int port = 0;
    int rc = MOSQ_ERR_SUCCESS;
    int error = 0;
    ~MqttConnectJob() {
        if (mosq) mosquitto_destroy(mosq);
    }
};

QString mqtt_problem_text(MqttProblem problem, const MqttTarget& t, const QString& detail) {
    const QString where = QStringLiteral("%1:%2").arg(t.host).arg(t.port);
    switch (problem) {
    case MqttProblem::None: return {};
    case MqttProblem::UnknownHost:
        return QStringLiteral("unknown broker host \"%1\" (%2)").arg(t.host, detail);
    case MqttProblem::Unreachable:
        return QStringLiteral("cannot reach the broker at %1: %2").arg(where, detail);
    case MqttProblem::BadLogin:
        return t.user.isEmpty() ? QStringLiteral("the broker at %1 wants a user name and password").arg(where)
                                : QStringLiteral("the broker at %1 refused the user name \"%2\" or its password")
                                      .arg(where, t.user);
    case MqttProblem::NotAuthorized:
        // Mosquitto answers a wrong password with this too.
        return t.user.isEmpty()
                   ? QStringLiteral("the broker at %1 refused this client (not authorised): it may want a user name and password").arg(where)
                   : QStringLiteral("the broker at %1 refused this client (not authorised): check the user name \"%2\" and its password")
                         .arg(where, t.user);
    case MqttProblem::Refused:
        return QStringLiteral("the broker at %1 refused the connection: %2").arg(where, detail);
    case MqttProblem::Tls:
        return QStringLiteral("TLS with the broker at %1 failed: its certificate is not trusted or not for \"%2\", "
                              "or it does not speak TLS on this port")
            .arg(where, t.host);
    case MqttProblem::CaFile:
        return QStringLiteral("cannot use the CA certificates \"%1\"").arg(detail);
    case MqttProblem::Lost:
        return QStringLiteral("the connection to the broker at %1 was lost").arg(where);
    }
    return {};
}

QString mqtt_status_text(const MqttStatus& st, const MqttSettings& settings) {
    QString state;
    switch (st.state) {
    case MqttState::Stopped: state = QStringLiteral("stopped"); break;
    case MqttState::Connecting: state = QStringLiteral("connecting"); break;
    case MqttState::Connected: state = QStringLiteral("connected"); break;
    case MqttState::Waiting: state = QStringLiteral("reconnecting"); break;
    }
    if (st.state != MqttState::Connected && !st.problem_text.isEmpty()) state += QStringLiteral(" (%1)").arg(st.problem_text);
    QString text = QStringLiteral("Publishing to %1 as %2: %3, %4 readings published")
                       .arg(mqtt_url_text(settings.target), settings.name, state)
                       .arg(st.published);
    if (st.queued > 0) text += QStringLiteral(", %1 queued").arg(st.queued);
    if (st.dropped > 0) text += QStringLiteral(", %1 dropped").arg(st.dropped);
    return text;
}

MqttPublisher::MqttPublisher(MqttSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), backoff_(kFirstRetry) {
    topics_ = mqtt_topics(settings_.target.prefix, settings_.name);
    reading_topic_ = topics_.reading.toUtf8();
    housekeeping_.setInterval(kHousekeeping);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttPublisher::housekeeping);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttPublisher::beginAttempt);
}

MqttPublisher::~MqttPublisher() {
    // Its owner may be half destroyed already (a window deleting its children): nothing is told.
    blockSignals(true);
    stop();
    dropSocket();
    if (mosq_) mosquitto_destroy(mosq_);
}

bool MqttPublisher::configure(mosquitto* mosq) {
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq, &MqttPublisher::onConnectCallback);
    const QByteArray status = topics_.status.toUtf8();
    mosquitto_will_set(mosq, status.constData(), static_cast<int>(kOffline.size()), kOffline.constData(), 1, true);
    if (!settings_.target.user.isEmpty()) {
        const QByteArray user = settings_.target.user.toUtf8();
        const QByteArray password = settings_.password.toUtf8();
        mosquitto_username_pw_set(mosq, user.constData(), password.isEmpty() ? nullptr : password.constData());
    }
    if (settings_.target.tls) {
        if (settings_.cafile.isEmpty()) {
            mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            const QByteArray cafile = QFile::encodeName(settings_.cafile);
            if (mosquitto_tls_set(mosq, cafile.constData(), nullptr, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
                if (problem_ != MqttProblem::CaFile) {
                    problem_ = MqttProblem::CaFile;
                    problem_text_ = mqtt_problem_text(problem_, settings_.target, settings_.cafile);
                    emit problem(problem_, problem_text_);
                }
                return false;
            }
        }
    }
    return true;
}

bool MqttPublisher::start() {
    if (state_ != MqttState::Stopped || stopping_) return false;
    init_library();
    mosq_ = newClient();
    if (!mosq_) return false;
    beginAttempt();
    return true;
}

// A fresh client for every attempt: after a failed TLS handshake or a refusal libmosquitto's
// handle is not always fit for another connect.
mosquitto* MqttPublisher::newClient() {
    const QByteArray id = mqtt_client_id(settings_.name).toUtf8();
    mosquitto* mosq = mosquitto_new(id.constData(), true, this);
    if (mosq && configure(mosq)) return mosq;
    if (mosq) mosquitto_destroy(mosq);
    return nullptr;
}

void MqttPublisher::beginAttempt() {
    if (stopping_ || attempt_running_) return;
    if (state_ != MqttState::Stopped) {
        dropSocket();
        if (mosq_) mosquitto_destroy(mosq_);
        mosq_ = newClient();
    }
    if (!mosq_) return connectionFailed(MqttProblem::CaFile, settings_.cafile);
    setState(MqttState::Connecting);
    session_up_ = false;
    refusal_ = 0;
    auto job = std::make_shared<MqttConnectJob>();
    job->mosq = std::exchange(mosq_, nullptr);
    job->host = settings_.target.host.toUtf8();
    job->port = settings_.target.port;
    attempt_running_ = true;
    QThread* thread = QThread::create([job] {
        job->rc = mosquitto_connect_async(job->mosq, job->host.constData(), job->port,
                                          static_cast<int>(kKeepAlive.count()));
        job->error = errno;
    });
    connect(thread, &QThread::finished, this, [this, job] { attemptDone(job); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void MqttPublisher::attemptDone(const std::shared_ptr<MqttConnectJob>& job) {
    attempt_running_ = false;
    mosq_ = std::exchange(job->mosq, nullptr);
    if (stopping_) {
        setState(MqttState::Stopped);
        return;
    }
    attempt_clock_.start();
    switch (job->rc) {
    case MOSQ_ERR_SUCCESS:
        watchSocket();
        return;
    case MOSQ_ERR_EAI:
        // libmosquitto leaves getaddrinfo's code in errno.
        return connectionFailed(MqttProblem::UnknownHost, QString::fromLocal8Bit(gai_strerror(job->error)));
    case MOSQ_ERR_ERRNO:
        return connectionFailed(MqttProblem::Unreachable, qt_error_string(job->error));
    case MOSQ_ERR_TLS:
        return connectionFailed(settings_.cafile.isEmpty() ? MqttProblem::Tls : MqttProblem::CaFile, settings_.cafile);
    default:
        return connectionFailed(MqttProblem::Unreachable, QString::fromUtf8(mosquitto_strerror(job->rc)));
    }
}

void MqttPublisher::watchSocket() {
    socket_ = mosquitto_socket(mosq_);
    if (socket_ < 0) return connectionFailed(MqttProblem::Unreachable, QStringLiteral("no socket"));
    read_notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
    connect(read_notifier_, &QSocketNotifier::activated, this, &MqttPublisher::onReadable);
    write_notifier_ = new QSocketNotifier(socket_, QSocketNotifier::Write, this);
    connect(write_notifier_, &QSocketNotifier::activated, this, &MqttPublisher::onWritable);
    write_notifier_->setEnabled(mosquitto_want_write(mosq_));
    housekeeping_.start();
}

// The notifiers go before libmosquitto closes or reuses the socket; deleted later because this
// may run inside one of their own signals.
void MqttPublisher::dropSocket() {
    for (QSocketNotifier* n : {read_notifier_, write_notifier_}) {
        if (!n) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    read_notifier_ = write_notifier_ = nullptr;
    socket_ = -1;
    housekeeping_.stop();
}

void MqttPublisher::onReadable() {
    if (!mosq_ || socket_ < 0) return;
    afterIo(mosquitto_loop_read(mosq_, kPacketsPerTurn));
}

void MqttPublisher::onWritable() {
    if (!mosq_ || socket_ < 0) return;
    int rc = mosquitto_loop_write(mosq_, kPacketsPerTurn);
    // Until the broker has answered, a TLS handshake may be waiting for the socket to take its
    // first bytes; libmosquitto moves the handshake on in its read step.
    if (rc == MOSQ_ERR_SUCCESS && !session_up_ && settings_.target.tls) rc = mosquitto_loop_read(mosq_, 1);
    afterIo(rc);
}

void MqttPublisher::housekeeping() {
    if (!mosq_ || socket_ < 0) return;
    if (!session_up_ && std::chrono::milliseconds(attempt_clock_.elapsed()) >= kAttemptLimit)
        return connectionFailed(MqttProblem::Unreachable, QStringLiteral("no answer within %1 s").arg(kAttemptLimit.count()));
    afterIo(mosquitto_loop_misc(mosq_));
}

void MqttPublisher::afterIo(int rc) {
    if (!mosq_ || socket_ < 0) return;
    if (refusal_ != 0) {
        // MQTT 3.1.1 answers: 4 bad user name or password, 5 not authorised.
        const MqttProblem problem = refusal_ == 4   ? MqttProblem::BadLogin
                                    : refusal_ == 5 ? MqttProblem::NotAuthorized
                                                    : MqttProblem::Refused;
        return connectionFailed(problem, QString::fromUtf8(mosquitto_connack_string(refusal_)));
    }
    // libmosquitto closes the socket itself on a keep-alive timeout.
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) != socket_) rc = MOSQ_ERR_CONN_LOST;
    if (rc != MOSQ_ERR_SUCCESS) {
        if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE) return connectionFailed(MqttProblem::Tls, {});
        if (state_ == MqttState::Connected) return connectionFailed(MqttProblem::Lost, {});
        const QString detail = rc == MOSQ_ERR_ERRNO ? qt_error_string(errno)
                                                    : QString::fromUtf8(mosquitto_strerror(rc));
        return connectionFailed(MqttProblem::Unreachable, detail);
    }
    if (session_up_ && state_ != MqttState::Connected) connected();
    flushQueue();
    if (write_notifier_) write_notifier_->setEnabled(mosquitto_want_write(mosq_));
}

// Runs inside mosquitto_loop_read: only notes the answer; afterIo acts on it once the library is out.
void MqttPublisher::onConnectCallback(mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc == 0)
        p->session_up_ = true;
    else
        p->refusal_ = rc;
}

void MqttPublisher::connectionFailed(MqttProblem problem, const QString& detail) {
    dropSocket();
    session_up_ = false;
    refusal_ = 0;
    const QString text = mqtt_problem_text(problem, settings_.target, detail);
    if (problem != problem_) emit this->problem(problem, text);
    problem_ = problem;
    problem_text_ = text;
    if (stopping_) return setState(MqttState::Stopped);
    setState(MqttState::Waiting);
    retry_.start(backoff_);
    backoff_ = std::min(backoff_ * 2, kLongestRetry);
}

void MqttPublisher::connected() {
    backoff_ = kFirstRetry;
    problem_ = MqttProblem::None;
    problem_text_.clear();
    // Retained again on every connection: a broker restarted without persistence has forgotten them.
    publishRetained(topics_.status, kOnline);
    if (!meter_info_.isEmpty()) publishRetained(topics_.meter, meter_info_);
    if (settings_.ha_discovery) {
        for (const MqttMessage& m : ha_discovery_messages(settings_.discovery_prefix, settings_.target.prefix,
                                                          settings_.name, settings_.version))
            publishRetained(m.topic, m.payload);
    }
    setState(MqttState::Connected);
}

void MqttPublisher::publishRetained(const QString& topic, const QByteArray& payload) {
    if (!mosq_ || !session_up_) return;
    const QByteArray t = topic.toUtf8();
    mosquitto_publish(mosq_, nullptr, t.constData(), static_cast<int>(payload.size()), payload.constData(), 1, true);
}

void MqttPublisher::publishReading(const QByteArray& json) {
    if (stopping_) return;
    if (static_cast<qsizetype>(queue_.size()) >= std::max(1, settings_.queue_limit)) {
        queue_.pop_front();
        ++dropped_;
        emit readingsDropped(dropped_);
    }
    queue_.push_back(json);
    if (!mosq_ || socket_ < 0) return;
    flushQueue();
    if (write_notifier_) write_notifier_->setEnabled(mosquitto_want_write(mosq_));
}

// Readings go to libmosquitto only while it has nothing left to write: a broker that stops
// reading leaves them in the bounded queue here, not in an unbounded one inside the library.
void MqttPublisher::flushQueue() {
    while (mosq_ && session_up_ && !queue_.empty() && !mosquitto_want_write(mosq_)) {
        const QByteArray& json = queue_.front();
        if (mosquitto_publish(mosq_, nullptr, reading_topic_.constData(), static_cast<int>(json.size()),
                              json.constData(), 0, false) != MOSQ_ERR_SUCCESS)
            return;
        queue_.pop_front();
        ++published_;
    }
}

void MqttPublisher::setMeterInfo(const QByteArray& json) {
    if (json == meter_info_) return;
    meter_info_ = json;
    publishRetained(topics_.meter, meter_info_);
    if (write_notifier_ && mosq_) write_notifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttPublisher::stop() {
    if (stopping_ || state_ == MqttState::Stopped) return;
    stopping_ = true;
    retry_.stop();
    if (mosq_ && session_up_) {
        flushQueue();
        // A clean goodbye: "offline" now, and the broker drops the last will.
        publishRetained(topics_.status, kOffline);
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, kPacketsPerTurn);
    }
    dropSocket();
    session_up_ = false;
    if (!attempt_running_) setState(MqttState::Stopped);
}

MqttStatus MqttPublisher::status() const {
    MqttStatus s;
    s.state = state_;
    s.queued = static_cast<qsizetype>(queue_.size());
    s.published = published_;
    s.dropped = dropped_;
    s.problem = problem_;
    s.problem_text = problem_text_;
    return s;
}

void MqttPublisher::setState(MqttState state) {
    if (state_ == state) return;
    state_ = state;
    emit stateChanged(state);
}

} // namespace tessaro
