// One request at a time to the meter on an MSComm port: the reply, or a time-out after which late
// bytes of that request are dropped. The port is opened again when the device went away.
#pragma once

#include "cli_common.h"
#include "link/meter_exchange.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace tessaro {

class MSComm;

namespace cli {

class MeterSession : public QObject {
    Q_OBJECT
public:
    MeterSession(MSComm& port, PortChoice choice, QObject* parent = nullptr);

    // The first request after the port was opened: what waits in the port, and what still arrives
    // until the line has been quiet a while (the late replies to an earlier program that was
    // interrupted), is dropped first, so that none of it is taken for this request's reply.
    void requestAfterSettling(uint16_t address);
    // Sends the request as soon as the line is free; reply or timedOut follows, once.
    void request(uint16_t address);
    // The same after the line has been quiet long enough for a reply shifted by stray bytes to end.
    void requestAfterQuiet(uint16_t address);
    // The same after every reply still due to a request of anybody's can have arrived (the meter
    // may take its full reply time); what arrives until then is dropped.
    void requestAfterLateReplies(uint16_t address);
    bool waiting() const { return address_.has_value(); }

signals:
    void reply(uint16_t address, const QByteArray& bytes);
    void timedOut(uint16_t address);

private:
    void transmit();
    void onComm();
    void onTimeout();
    void onSettled();

    MSComm& port_;
    PortChoice choice_;
    MeterExchange exchange_;
    std::optional<uint16_t> address_;
    QByteArray got_;
    int expected_ = 0;
    QTimer line_free_; // a request held until the line is free
    QTimer timeout_;
    QTimer settle_;            // runs while the line is not yet quiet after the port was opened
    QElapsedTimer settling_;   // since settling began
    std::optional<uint16_t> after_settling_;
};

} // namespace cli
} // namespace tessaro
