// Asks one device whether a meter answers the port check on it, without holding it longer than that.
#pragma once

#include "platform/port_list.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace tessaro {

class MSComm;

class PortProbe : public QObject {
    Q_OBJECT
public:
    explicit PortProbe(const QString& device, QObject* parent = nullptr);
    ~PortProbe() override;

    QString device() const { return device_; }
    ProbeResult result() const { return result_; }
    bool done() const { return done_; }

    // Opens the device, sends the port check (twice at most) and closes it again; finished follows.
    void start();

signals:
    void finished(tessaro::ProbeResult result);

private:
    void ask();
    void onReply();
    void onTimeout();
    void finish(ProbeResult result);

    QString device_;
    MSComm* port_;
    QTimer timeout_;
    int attempts_ = 0;
    bool wrong_ = false;
    bool done_ = false;
    ProbeResult result_ = ProbeResult::NotTried;
};

} // namespace tessaro
