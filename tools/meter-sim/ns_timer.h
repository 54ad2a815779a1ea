// A single-shot timer with nanosecond resolution (a timerfd on the event loop): the paced output's
// bytes leave on their deadlines, not rounded up to the next millisecond.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tessaro {

class NsTimer : public QObject {
    Q_OBJECT
public:
    explicit NsTimer(QObject* parent = nullptr);
    ~NsTimer() override;

    // Fires once, ns nanoseconds from now (at once for 0 or less). Restarting replaces the deadline.
    void start(qint64 ns);
    void stop();
    bool isActive() const { return active_; }

signals:
    void timeout();

private:
    void onReadable();

    int fd_ = -1;
    bool active_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tessaro
