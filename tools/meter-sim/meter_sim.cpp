// The meter's side of the request/reply exchange, with its timing and faults.
#include "meter_sim.h"

#include "ns_timer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace tessaro {

namespace {

using std::chrono::milliseconds;

constexpr qint64 kNsPerMs = 1'000'000;
// A partial request older than this is left over from an aborted write, not the start of the next one.
constexpr qint64 kStaleRequestNs = 200 * kNsPerMs;
constexpr int kMaxGarbageBytes = 3;
// A babbling device keeps the line's queue full: a chunk every millisecond is more than it takes.
constexpr std::chrono::milliseconds kBabbleInterval{1};
constexpr int kBabbleChunk = 4096;
constexpr char kEmptyByte = static_cast<char>(0xFF);

qint64 toNs(milliseconds ms) {
    return static_cast<qint64>(ms.count()) * kNsPerMs;
}

QByteArray twoBytes(int v) {
    QByteArray b(2, '\0');
    b[0] = static_cast<char>((v >> 8) & 0xFF);
    b[1] = static_cast<char>(v & 0xFF);
    return b;
}

QString describe(RequestKind kind, quint16 address) {
    switch (kind) {
    case RequestKind::PortCheck:
        return QStringLiteral("port check");
    case RequestKind::Count:
        return QStringLiteral("record count");
    case RequestKind::Live:
        return QStringLiteral("live reading");
    case RequestKind::RecordPair: {
        const int first = address - MeterSim::kFirstPairAddress + 1;
        return QStringLiteral("records %1-%2").arg(first).arg(first + 1);
    }
    case RequestKind::Other:
        break;
    }
    return QStringLiteral("unknown address");
}

} // namespace

MeterSim::MeterSim(MeterSimOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), rng_(options_.seed) {
    walk_ = options_.liveCount;
    out_timer_ = new NsTimer(this);
    connect(out_timer_, &NsTimer::timeout, this, &MeterSim::flushOutput);
    reappear_timer_ = new QTimer(this);
    reappear_timer_->setSingleShot(true);
    connect(reappear_timer_, &QTimer::timeout, this, [this] { reappear(); });
    disappear_timer_ = new QTimer(this);
    disappear_timer_->setSingleShot(true);
    connect(disappear_timer_, &QTimer::timeout, this, [this] {
        if (!disappeared_once_) disappearFault();
    });
    appear_timer_ = new QTimer(this);
    appear_timer_->setSingleShot(true);
    connect(appear_timer_, &QTimer::timeout, this, &MeterSim::appearLate);
    babble_timer_ = new QTimer(this);
    babble_timer_->setInterval(kBabbleInterval);
    connect(babble_timer_, &QTimer::timeout, this, &MeterSim::babbleOnce);
}

MeterSim::~MeterSim() {
    stop();
}

RequestKind MeterSim::kindOf(quint16 address) {
    if (address == kPortCheckAddress) return RequestKind::PortCheck;
    if (address == kCountAddress) return RequestKind::Count;
    if (address == kLiveAddress) return RequestKind::Live;
    if (address >= kFirstPairAddress && (address - kFirstPairAddress) % 2 == 0)
        return RequestKind::RecordPair;
    return RequestKind::Other;
}

int MeterSim::reportedCount() const {
    const qsizetype n = options_.reportedCount ? *options_.reportedCount : options_.records.size();
    return static_cast<int>(std::clamp<qsizetype>(n, 0, 0xFFFF));
}

bool MeterSim::start() {
    if (port_.isOpen()) return true;
    error_.clear();
    if (options_.link.isEmpty()) {
        error_ = QStringLiteral("no link path given");
        return false;
    }
    if (options_.records.size() > kMaxHeldRecords) {
        error_ = QStringLiteral("more than %1 records").arg(kMaxHeldRecords);
        return false;
    }
    for (qsizetype i = 0; i < options_.records.size(); ++i) {
        if (options_.records[i].size() != 8) {
            error_ = QStringLiteral("record %1 has %2 bytes instead of 8")
                         .arg(i + 1)
                         .arg(options_.records[i].size());
            return false;
        }
    }
    clock_.start();
    if (!openLine(!options_.appearAt)) return false;
    if (options_.appearAt) appear_timer_->start(*options_.appearAt);
    if (options_.babble) babble_timer_->start();
    if (options_.silentAt) silence_start_ns_ = toNs(*options_.silentAt);
    if (options_.disappearAt) disappear_timer_->start(*options_.disappearAt);
    return true;
}

void MeterSim::stop() {
    appear_timer_->stop();
    babble_timer_->stop();
    disappear_timer_->stop();
    reappear_timer_->stop();
    out_timer_->stop();
    out_.clear();
    held_.clear();
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    port_.removeLink();
    port_.close();
}

bool MeterSim::openLine(bool link) {
    if (!port_.open(error_) || (link && !port_.pointLink(options_.link, error_))) {
        port_.close();
        return false;
    }
    in_.clear();
    in_line_free_ns_ = 0;
    out_line_free_ns_ = 0;
    last_alone_write_ns_ = -1;
    notifier_ = new QSocketNotifier(port_.masterFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &MeterSim::onReadable);
    return true;
}

void MeterSim::disappear() {
    if (!port_.isOpen()) return;
    // The notifier may be the one whose signal is running: disable now, delete later.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
    out_timer_->stop();
    out_.clear();
    held_.clear();
    in_.clear();
    port_.close();
    port_.dangleLink();
    log(QStringLiteral("device disappeared"));
    emit disappeared();
}

bool MeterSim::reappear() {
    if (port_.isOpen()) return true;
    if (!openLine()) {
        log(QStringLiteral("cannot reappear: %1").arg(error_));
        return false;
    }
    log(QStringLiteral("device reappeared at %1").arg(port_.slavePath()));
    emit reappeared(port_.slavePath());
    return true;
}

void MeterSim::appearLate() {
    if (!port_.isOpen()) return;
    if (!port_.pointLink(options_.link, error_)) {
        log(QStringLiteral("cannot make the link: %1").arg(error_));
        return;
    }
    log(QStringLiteral("device appeared at %1").arg(options_.link));
    emit appeared(options_.link);
}

void MeterSim::babbleOnce() {
    if (!port_.isOpen()) return;
    QByteArray noise(kBabbleChunk, Qt::Uninitialized);
    for (char& c : noise) c = static_cast<char>(rng_.bounded(256));
    port_.write(noise); // what the full line cannot take is dropped
}

void MeterSim::disappearFault() {
    disappeared_once_ = true;
    disappear();
    if (options_.disappearFor) reappear_timer_->start(*options_.disappearFor);
}

bool MeterSim::silentNow() const {
    if (!silence_start_ns_) return false;
    const qint64 now = nowNs();
    if (now < *silence_start_ns_) return false;
    return !options_.silentFor || now < *silence_start_ns_ + toNs(*options_.silentFor);
}

void MeterSim::onReadable() {
    bool hung_up = false;
    const QByteArray bytes = port_.read(hung_up);
    if (!bytes.isEmpty()) parse(bytes, nowNs());
    if (hung_up && notifier_) {
        // Without this the notifier would fire without end on a dead master.
        notifier_->setEnabled(false);
        log(QStringLiteral("line hung up"));
    }
}

void MeterSim::parse(const QByteArray& bytes, qint64 readNs) {
    if (!in_.isEmpty() && readNs - in_last_ns_ > kStaleRequestNs) in_.clear();
    in_last_ns_ = readNs;
    for (const char byte : bytes) {
        if (in_.isEmpty()) in_first_ns_ = readNs;
        in_.append(byte);
        // A request is 00 H 00 L: drop bytes until the buffer can still be the start of one.
        while (!in_.isEmpty() && (in_[0] != 0 || (in_.size() >= 3 && in_[2] != 0)))
            in_.remove(0, 1);
        if (in_.size() < 4) continue;
        const auto address =
            static_cast<quint16>(static_cast<quint8>(in_[1]) * 256 + static_cast<quint8>(in_[3]));
        in_.clear();
        handle(address, in_first_ns_);
        if (!port_.isOpen()) return;
    }
}

void MeterSim::handle(quint16 address, qint64 firstByteNs) {
    ++requests_;
    addresses_.append(address);
    MeterRequest r;
    r.address = address;
    r.kind = kindOf(address);
    const qint64 byte_ns = options_.pacing ? kByteNs : 0;
    r.arrivalNs = std::max(firstByteNs, in_line_free_ns_) + 4 * byte_ns;
    in_line_free_ns_ = r.arrivalNs;
    const QString what = QStringLiteral("%1 (%2)").arg(address).arg(describe(r.kind, address));

    if (options_.disappearAfter && !disappeared_once_ && requests_ > *options_.disappearAfter) {
        log(what + QStringLiteral(" -> device disappears"));
        emit requestHandled(r);
        disappearFault();
        return;
    }
    // Silence by address, unlike a count of requests, falls on the same exchange however many port
    // checks or repeated requests went before it.
    const bool silent_address = options_.silentOn && address == *options_.silentOn && !silence_start_ns_;
    if ((options_.silentAfter && requests_ == *options_.silentAfter + 1) || silent_address) {
        const qint64 now = nowNs();
        if (!silence_start_ns_ || *silence_start_ns_ > now) silence_start_ns_ = now;
    }
    if (silentNow()) {
        log(what + QStringLiteral(" -> silent"));
        emit requestHandled(r);
        return;
    }
    r.reply = reply(r.kind, address);
    if (r.reply.isEmpty()) {
        log(what + QStringLiteral(" -> no answer"));
        emit requestHandled(r);
        return;
    }
    r.answered = true;
    r.replyStartNs = r.arrivalNs + latencyNs();
    ++served_[static_cast<size_t>(r.kind)];
    ++replies_;
    QString note;
    if (options_.mergeEvery > 0 && held_.isEmpty() && replies_ % options_.mergeEvery == 0) {
        held_ = r.reply;
        note = QStringLiteral(" (held for the next reply)");
    } else {
        QByteArray wire = held_ + r.reply;
        held_.clear();
        if (options_.garbageRate > 0 && rng_.generateDouble() < options_.garbageRate) {
            const int n = static_cast<int>(rng_.bounded(1, kMaxGarbageBytes + 1));
            for (int i = 0; i < n; ++i)
                wire.append(static_cast<char>(rng_.bounded(256)));
            note = QStringLiteral(" (+%1 garbage bytes)").arg(n);
        }
        schedule(wire, r.replyStartNs);
    }
    log(what + QStringLiteral(" -> ") + QString::fromLatin1(r.reply.toHex(' ')) + note);
    emit requestHandled(r);
}

QByteArray MeterSim::reply(RequestKind kind, quint16 address) {
    switch (kind) {
    case RequestKind::PortCheck:
        ++checks_;
        return twoBytes(checks_ <= options_.badChecks ? kBadPortCheckAnswer : kPortCheckAnswer);
    case RequestKind::Count:
        ++counts_;
        return twoBytes(counts_ <= options_.countOver ? kCountOverAnswer : reportedCount());
    case RequestKind::Live:
        return liveFrame();
    case RequestKind::RecordPair: {
        const int first = address - kFirstPairAddress;
        return recordFrame(first) + recordFrame(first + 1);
    }
    case RequestKind::Other:
        break;
    }
    return {};
}

QByteArray MeterSim::liveFrame() {
    const double amp = options_.liveAmplitude;
    const double t = static_cast<double>(nowNs()) / 1e9;
    const double period = std::max(1e-3, static_cast<double>(options_.livePeriod.count()) / 1000.0);
    double c = options_.liveCount;
    switch (options_.wave) {
    case LiveWave::Constant:
        break;
    case LiveWave::Sine:
        c += amp * std::sin(2 * std::numbers::pi * t / period);
        break;
    case LiveWave::Ramp:
        c += amp * (2 * std::fmod(t, period) / period - 1);
        break;
    case LiveWave::RandomWalk: {
        const int step = std::max(1, options_.liveAmplitude / 10);
        const int lo = std::max(0, options_.liveCount - options_.liveAmplitude);
        const int hi = options_.liveCount + options_.liveAmplitude;
        walk_ = std::clamp(walk_ + static_cast<int>(rng_.bounded(-step, step + 1)), lo, hi);
        c = walk_;
        break;
    }
    }
    int count = std::clamp(static_cast<int>(std::nearbyint(c)), 0, 0x7FFF);
    if (options_.overload) count = kOverloadCount;
    QByteArray f(3, '\0');
    f[0] = static_cast<char>((options_.lowBattery ? 0x80 : 0) | ((count >> 8) & 0x7F));
    f[1] = static_cast<char>(count & 0xFF);
    f[2] = static_cast<char>(options_.liveRange);
    return f;
}

QByteArray MeterSim::recordFrame(int index) {
    QByteArray f = index < options_.records.size() ? options_.records[index] : QByteArray(8, kEmptyByte);
    if (options_.ffRate > 0 && rng_.generateDouble() < options_.ffRate) f[rng_.bounded(8)] = kEmptyByte;
    return f;
}

qint64 MeterSim::latencyNs() {
    const qint64 lo = options_.latencyMin.count();
    const qint64 hi = std::max<qint64>(lo, options_.latencyMax.count());
    return (lo == hi ? lo : rng_.bounded(lo, hi + 1)) * kNsPerMs;
}

void MeterSim::schedule(const QByteArray& bytes, qint64 startNs) {
    // Each byte's deadline is absolute, so a late timer never pushes the later bytes back.
    const qint64 byte_ns = options_.pacing ? kByteNs : 0;
    const qint64 start = std::max(startNs, out_line_free_ns_);
    if (options_.split || options_.pacing) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            out_.push_back({start + (i + 1) * byte_ns, bytes.mid(i, 1), options_.split});
    } else {
        out_.push_back({start, bytes, false});
    }
    out_line_free_ns_ = start + bytes.size() * byte_ns;
    armOutput();
}

void MeterSim::flushOutput() {
    const qint64 now = nowNs();
    const qint64 gap_ns = toNs(options_.splitGap);
    QByteArray batch;
    QByteArray alone;
    while (!out_.empty() && out_.front().dueNs <= now) {
        Chunk& c = out_.front();
        if (c.alone) {
            if (batch.isEmpty() && (last_alone_write_ns_ < 0 || now - last_alone_write_ns_ >= gap_ns)) {
                alone = c.bytes;
                last_alone_write_ns_ = now;
                out_.pop_front();
            }
            break;
        }
        batch += c.bytes;
        out_.pop_front();
    }
    for (const QByteArray& b : {batch, alone}) {
        if (b.isEmpty() || !port_.isOpen()) continue;
        const qsizetype n = port_.write(b);
        if (n < b.size()) log(QStringLiteral("%1 bytes dropped: the port's queue is full").arg(b.size() - n));
        if (n > 0) emit bytesWritten(b.left(n), now);
    }
    armOutput();
}

void MeterSim::armOutput() {
    if (out_.empty() || !port_.isOpen()) {
        out_timer_->stop();
        return;
    }
    qint64 next = out_.front().dueNs;
    if (out_.front().alone && last_alone_write_ns_ >= 0)
        next = std::max(next, last_alone_write_ns_ + toNs(options_.splitGap));
    out_timer_->start(next - nowNs());
}

void MeterSim::log(const QString& line) const {
    if (!options_.log) return;
    std::fprintf(stderr, "meter-sim: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace tessaro
