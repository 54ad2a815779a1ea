// The meter simulator: answers the program's requests on a pseudo-terminal, on the caller's event loop.
#pragma once

#include "meter_port.h"
#include "meter_sim_options.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

#include <array>
#include <deque>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace tessaro {
class NsTimer;
}

namespace tessaro {

enum class RequestKind { PortCheck, Count, Live, RecordPair, Other };
inline constexpr int kRequestKinds = 5;

// One request as the simulator met it. Times are on the simulator's clock (ns since start()).
struct MeterRequest {
    quint16 address = 0;
    RequestKind kind = RequestKind::Other;
    bool answered = false;   // false: unknown address, silence or the device going away
    QByteArray reply;        // the answer's bytes, without faults added on the wire
    qint64 arrivalNs = 0;    // when its last byte would have arrived on the line
    qint64 replyStartNs = 0; // earliest moment the answer may start leaving
};

class MeterSim : public QObject {
    Q_OBJECT
  public:
    static constexpr quint16 kPortCheckAddress = 6000;
    static constexpr quint16 kCountAddress = 5000;
    static constexpr quint16 kLiveAddress = 7000;
    static constexpr quint16 kFirstPairAddress = 257;
    static constexpr int kPortCheckAnswer = 6500;
    static constexpr int kBadPortCheckAnswer = 6501;
    static constexpr int kCountOverAnswer = 4601;
    static constexpr int kOverloadCount = 4000;
    static constexpr qint64 kByteNs = 10 * 1'000'000'000LL / 4800; // 10 bits a byte at 4800 baud

    explicit MeterSim(MeterSimOptions options, QObject* parent = nullptr);
    ~MeterSim() override;

    // Opens the pseudo-terminal and points the link at it; false with errorString() on failure.
    bool start();
    // Closes the line and removes the link.
    void stop();
    QString errorString() const { return error_; }

    QString slavePath() const { return port_.slavePath(); }
    bool isPresent() const { return port_.isOpen(); }
    const MeterSimOptions& options() const { return options_; }

    // Faults played on demand: the device goes away, then comes back on a new pseudo-terminal.
    void disappear();
    bool reappear();

    // What has been asked and answered so far.
    int served(RequestKind kind) const { return served_[static_cast<size_t>(kind)]; }
    QList<quint16> addresses() const { return addresses_; }
    const QList<QByteArray>& records() const { return options_.records; }
    int reportedCount() const;
    bool silentNow() const;
    // True when no answer byte is waiting to leave.
    bool outputIdle() const { return out_.empty(); }
    qint64 nowNs() const { return clock_.nsecsElapsed(); }

    static RequestKind kindOf(quint16 address);

  signals:
    void requestHandled(const tessaro::MeterRequest& request);
    void bytesWritten(const QByteArray& bytes, qint64 atNs);
    void disappeared();
    void reappeared(const QString& slavePath);
    void appeared(const QString& link);

  private:
    struct Chunk {
        qint64 dueNs = 0;
        QByteArray bytes;
        bool alone = false; // a split reply's byte: its own write, a gap after the one before
    };

    bool openLine(bool link = true);
    void appearLate();
    void babbleOnce();
    void onReadable();
    void parse(const QByteArray& bytes, qint64 readNs);
    void handle(quint16 address, qint64 firstByteNs);
    QByteArray reply(RequestKind kind, quint16 address);
    void disappearFault();
    QByteArray liveFrame();
    QByteArray recordFrame(int index);
    void schedule(const QByteArray& bytes, qint64 startNs);
    void flushOutput();
    void armOutput();
    qint64 latencyNs();
    void log(const QString& line) const;

    MeterSimOptions options_;
    MeterPort port_;
    QSocketNotifier* notifier_ = nullptr;
    NsTimer* out_timer_ = nullptr;
    QTimer* reappear_timer_ = nullptr;
    QTimer* disappear_timer_ = nullptr;
    QTimer* appear_timer_ = nullptr;
    QTimer* babble_timer_ = nullptr;
    QElapsedTimer clock_;
    QRandomGenerator rng_;
    QString error_;
    QString link_;

    QByteArray in_;          // request bytes not yet a whole request
    qint64 in_first_ns_ = 0; // when the first byte in in_ was read
    qint64 in_last_ns_ = 0;  // when the last byte was read
    qint64 in_line_free_ns_ = 0;
    qint64 out_line_free_ns_ = 0;
    qint64 last_alone_write_ns_ = -1;
    std::deque<Chunk> out_;
    QByteArray held_; // a merged-away reply waiting for the next one

    int requests_ = 0;
    int replies_ = 0;
    int checks_ = 0;
    int counts_ = 0;
    int walk_ = 0;
    std::optional<qint64> silence_start_ns_;
    bool disappeared_once_ = false;
    std::array<int, kRequestKinds> served_{};
    QList<quint16> addresses_;
};

} // namespace tessaro
