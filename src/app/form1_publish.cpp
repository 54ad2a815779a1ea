// Publishing the window's live readings to an MQTT broker: the dialog, the publisher, its state in tooltips.
#include "app/form1.h"

#include "link/live_json.h"
#include "link/mscomm.h"
#include "platform/paths.h"
#include "platform/user_seam.h"
#include "publish/mqtt_publisher.h"
#include "publish/publish_settings.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

namespace tessaro {

namespace {

// Problems that waiting does not mend: told once in a box; the others only in the tooltips.
bool needs_the_operator(MqttProblem p) {
    return p == MqttProblem::UnknownHost || p == MqttProblem::BadLogin || p == MqttProblem::NotAuthorized
           || p == MqttProblem::Tls || p == MqttProblem::CaFile;
}

QString default_name(const Form1& f) {
    return default_meter_name(f.MSComm1->CommPort(), f.MSComm1->devicePath());
}

} // namespace

void Form1::start_publishing() {
    if (quitting || publisher) return;
    const QString folder = paths::config_dir();
    PublishRequest proposed = load_publish_settings(folder);
    const QString fallback_name = default_name(*this);
    if (proposed.name.isEmpty()) proposed.name = fallback_name;
    auto check = [fallback_name](const PublishRequest& r) {
        QString error;
        return mqtt_settings_from(r, fallback_name, error) ? QString() : error;
    };
    const auto chosen = user_seam().publish_settings(this, proposed, check);
    if (!chosen || quitting || publisher) return;
    QString error;
    auto settings = mqtt_settings_from(*chosen, fallback_name, error);
    if (!settings) return;
    settings->version = QStringLiteral(TESSARO_VERSION);
    if (const auto why = save_publish_settings(*chosen, folder))
        user_seam().message(this, system_prompt_warning(QStringLiteral("The publishing settings could not be kept.\n%1").arg(*why)));

    publisher = new MqttPublisher(*settings, this);
    connect(publisher, &MqttPublisher::stateChanged, this, &Form1::show_publishing_state);
    // Queued: the box runs its own event loop, which must not start inside the publisher's handler.
    connect(
        publisher, &MqttPublisher::problem, this,
        [this](MqttProblem problem, const QString& text) {
            show_publishing_state();
            if (!needs_the_operator(problem) || quitting || !publisher) return;
            user_seam().message(this, system_prompt_warning(QStringLiteral("Publishing to MQTT: %1.").arg(text)));
        },
        Qt::QueuedConnection);
    publisher->start();
    show_publishing_state();
}

void Form1::stop_publishing() {
    if (!publisher) return;
    publisher->stop();
    publisher->deleteLater();
    publisher = nullptr;
    show_publishing_state();
}

void Form1::publish_live_reading(const LiveLogReading& reading) {
    if (!publisher) return;
    const QJsonObject meter{
        {"name", publisher->settings().name},
        {"port", Text38->text()},
        {"device", MSComm1->devicePath()},
        {"port_state", Text39->text()},
        {"link", Text40->text()},
        {"program", QStringLiteral("tessaro")},
        {"version", publisher->settings().version},
    };
    publisher->setMeterInfo(QJsonDocument(meter).toJson(QJsonDocument::Compact));
    publisher->publishReading(live_json_line(reading).chopped(1));
    show_publishing_state();
}

QString Form1::publishing_tip() const {
    return publisher ? mqtt_status_text(publisher->status(), publisher->settings()) : QString();
}

void Form1::show_publishing_state() {
    const bool on = publisher != nullptr;
    publish_action->setEnabled(!on);
    stop_publish_action->setEnabled(on);
    const QString tip = publishing_tip();
    publish_action->setToolTip(on ? tip : publish_action->text());
    stop_publish_action->setToolTip(on ? tip : stop_publish_action->text());
    show_recording_state();
}

} // namespace tessaro
