// The "Publish to MQTT" dialog: broker URL, meter name, user, password and Home Assistant discovery.
#pragma once

#include "platform/user_seam.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tessaro {

class PublishDialog : public QDialog {
    Q_OBJECT
public:
    PublishDialog(QWidget* parent, const PublishRequest& proposed, std::function<QString(const PublishRequest&)> check);
    PublishRequest request() const;
    void accept() override; // only once the check finds nothing wrong

private:
    QLineEdit* url_;
    QLineEdit* name_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* discovery_;
    QLabel* problem_;
    std::function<QString(const PublishRequest&)> check_;
};

} // namespace tessaro
