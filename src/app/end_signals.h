// SIGTERM, SIGINT and SIGHUP delivered as a Qt signal on the event loop, so they end the program
// through its normal exit path instead of killing it with the port and its lock file left behind.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tessaro {

class EndSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance at a time. Signals that arrive before the event loop runs
    // wait in the pipe and are reported once it does.
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override; // puts the default handlers back
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    bool ok() const { return notifier_ != nullptr; }

signals:
    // On the event loop, once per signal received; a second signal of the same kind while the
    // program is ending kills it the default way.
    void received(int signal_number);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tessaro
