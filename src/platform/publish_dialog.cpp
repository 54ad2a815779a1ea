// The "Publish to MQTT" dialog.
#include "publish_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaro {

PublishDialog::PublishDialog(QWidget* parent, const PublishRequest& proposed,
                             std::function<QString(const PublishRequest&)> check)
    : QDialog(parent), check_(std::move(check)) {
    setWindowTitle(QStringLiteral("Publish to MQTT"));
    setObjectName(QStringLiteral("publish_dialog"));
    auto* form = new QFormLayout;
    auto field = [&](const char* name, const QString& label, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(QString::fromLatin1(name));
        form->addRow(label, e);
        return e;
    };
    url_ = field("broker_url", QStringLiteral("&Broker URL:"), proposed.url);
    url_->setPlaceholderText(QStringLiteral("mqtt://host[:port][/prefix] or mqtts://…"));
    name_ = field("meter_name", QStringLiteral("Meter &name:"), proposed.name);
    user_ = field("broker_user", QStringLiteral("&User:"), proposed.user);
    password_ = field("broker_password", QStringLiteral("&Password:"), proposed.password);
    password_->setEchoMode(QLineEdit::Password);
    discovery_ = new QCheckBox(QStringLiteral("Announce to &Home Assistant (discovery)"), this);
    discovery_->setObjectName(QStringLiteral("ha_discovery"));
    discovery_->setChecked(proposed.ha_discovery);
    form->addRow(discovery_);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("publish_problem"));
    problem_->setWordWrap(true);
    problem_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Publish"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PublishDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PublishDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    url_->setFocus();
}

PublishRequest PublishDialog::request() const {
    PublishRequest r;
    r.url = url_->text().trimmed();
    r.name = name_->text().trimmed();
    r.user = user_->text().trimmed();
    r.password = password_->text();
    r.ha_discovery = discovery_->isChecked();
    return r;
}

void PublishDialog::accept() {
    const QString problem = check_ ? check_(request()) : QString();
    if (problem.isEmpty()) return QDialog::accept();
    problem_->setText(problem);
    problem_->show();
}

std::optional<PublishRequest> UserSeam::publish_settings(QWidget* parent, const PublishRequest& proposed,
                                                         const std::function<QString(const PublishRequest&)>& check) {
    PublishDialog dialog(parent, proposed, check);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.request();
}

} // namespace tessaro
