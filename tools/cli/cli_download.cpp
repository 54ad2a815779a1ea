// tessaro-cli download: the meter's records as the records CSV, resumed across a silent meter.
#include "cli_commands.h"
#include "cli_common.h"
#include "meter_session.h"

#include "link/meter_protocol.h"
#include "link/mscomm.h"
#include "platform/safe_file.h"
#include "records/record_store.h"
#include "records/records_csv.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace tessaro::cli {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kCountRefusals = 3;          // a count above the limit is asked for this often
constexpr int kPairRetries = 2;            // an implausible frame is asked for again this often
constexpr seconds kDefaultWait{30};        // a silent meter is waited for this long
constexpr milliseconds kProgressFrame{200}; // the progress line is redrawn at most this often
constexpr int kBarWidth = 30;

const QString kCommand = QStringLiteral("download");

QString clock_text(qint64 s) {
    return s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

class Download : public QObject {
public:
    Download(MSComm& port, const PortChoice& choice, milliseconds wait, bool progress)
        : session_(port, choice), wait_(wait), progress_(progress) {
        connect(&session_, &MeterSession::reply, this, &Download::onReply);
        connect(&session_, &MeterSession::timedOut, this, &Download::onSilence);
    }

    void start() {
        quiet_.start();
        session_.requestAfterSettling(kPortCheckAddress);
    }
    void interrupt() { fail(QStringLiteral("interrupted after %1").arg(got_text())); }

    int status = kSuccess;
    QString reason;
    std::vector<FileRecord> records;
    QString note; // said on stderr at a successful end

private:
    QString got_text() const {
        return count_ ? QStringLiteral("%1 of %2 records").arg(slot_).arg(*count_) : QStringLiteral("0 records");
    }

    void finish() {
        clear_progress();
        QCoreApplication::exit(status);
    }
    void fail(const QString& why) {
        status = kFailure;
        reason = why;
        finish();
    }

    // The pair the download has reached, or the count while none is known.
    void ask_next() {
        if (!count_) {
            session_.request(kCountAddress);
            return;
        }
        session_.request(static_cast<uint16_t>(pair_address(slot_ / 2)));
    }

    void onReply(uint16_t address, const QByteArray& bytes) {
        quiet_.start();
        switch (address_kind(address)) {
        case AddressKind::PortCheck:
            if (is_port_check_answer(bytes)) {
                ask_next();
            } else {
                wrong_check_ = true;
                onSilence(address);
            }
            return;
        case AddressKind::Count: return count_reply(bytes);
        case AddressKind::RecordPair: return pair_reply(address, bytes);
        default: return;
        }
    }

    void count_reply(const QByteArray& bytes) {
        const auto count = decode_count(bytes);
        if (!count) {
            // A figure above what the meter holds is no count of its: mostly a late answer to
            // another request (the port check's 6500), with the count's own answer still to come.
            // Asked again once every late answer can have arrived and been dropped.
            if (++refusals_ >= kCountRefusals) return fail(QStringLiteral("the meter's answer was not a record count"));
            session_.requestAfterLateReplies(kCountAddress);
            return;
        }
        count_ = *count;
        rate_.start();
        if (*count_ == 0) return finish();
        ask_next();
    }

    void pair_reply(uint16_t address, const QByteArray& bytes) {
        // Both frames of the pair arrived; each is stored in its slot, as the window does.
        for (int half = 0; half < 2; ++half) {
            const int slot = slot_of(address, half);
            if (slot != slot_) continue; // the first half of a pair already stored
            const QByteArray frame = bytes.mid(half * kRecordFrameBytes, kRecordFrameBytes);
            if (frame.size() < kRecordFrameBytes) return session_.requestAfterQuiet(address);
            if (is_empty_slot(frame)) {
                note = QStringLiteral("the meter's memory ends after %1 of the %2 records it counted")
                           .arg(slot_)
                           .arg(*count_);
                status = kFailure;
                reason = note;
                return finish();
            }
            // A frame shifted by stray bytes is asked for again, then taken as the meter's record.
            if (!plausible_record(reinterpret_cast<const uint8_t*>(frame.constData())) && pair_retries_ < kPairRetries) {
                ++pair_retries_;
                session_.requestAfterQuiet(address);
                return;
            }
            const auto record = decode_record_frame(frame);
            if (!record) return ask_next();
            // A range code of 0 is an empty slot in the store: the window exports none.
            if (record->range != 0) {
                FileRecord r;
                r.number = slot + 1;
                r.count = record->count;
                r.range = record->range;
                r.mark = record->mark ? 1 : 0;
                r.date = record->time;
                records.push_back(r);
            }
            ++slot_;
            if (slot_ % 2 == 0) pair_retries_ = 0;
            if (slot_ >= *count_) return finish();
        }
        show_progress();
        ask_next();
    }

    void onSilence(uint16_t) {
        if (milliseconds(quiet_.elapsed()) >= wait_) {
            if (!count_ && slot_ == 0)
                fail(wrong_check_ ? QStringLiteral("the device answers, but not as the meter")
                                  : QStringLiteral("no meter answers"));
            else
                fail(QStringLiteral("the meter stopped answering after %1").arg(got_text()));
            return;
        }
        // As the window does: the port check until the meter answers, then the same pair again.
        session_.request(kPortCheckAddress);
    }

    void show_progress() {
        if (!progress_ || !count_ || (shown_.isValid() && !shown_.hasExpired(kProgressFrame.count()))) return;
        shown_.start();
        const int done = slot_;
        const int total = *count_;
        const double secs = std::max<qint64>(rate_.elapsed(), 1) / 1000.0;
        const double rate = done / secs;
        const qint64 left = rate > 0 ? static_cast<qint64>((total - done) / rate + 0.5) : 0;
        const int filled = total > 0 ? done * kBarWidth / total : kBarWidth;
        const QString bar = QString(filled, QChar('#')) + QString(kBarWidth - filled, QChar('.'));
        const QString line = QStringLiteral("\r[%1] %2/%3  %4 records/s  %5 left ")
                                 .arg(bar)
                                 .arg(done)
                                 .arg(total)
                                 .arg(rate, 0, 'f', 1)
                                 .arg(clock_text(left));
        std::fputs(qPrintable(line), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear_progress() {
        if (!drawn_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }

    MeterSession session_;
    milliseconds wait_;
    bool progress_;
    std::optional<int> count_;
    int slot_ = 0; // the next slot to store
    int refusals_ = 0;
    int pair_retries_ = 0;
    bool wrong_check_ = false;
    bool drawn_ = false;
    QElapsedTimer quiet_; // since the last reply
    QElapsedTimer rate_;
    QElapsedTimer shown_;
};

} // namespace

int run_download(QCoreApplication& app, const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Downloads the records stored in the meter and writes them as CSV (the records file of the\n"
        "window's Export CSV) or, with --json, as JSON lines to standard output or FILE. A progress line goes to standard error when\n"
        "it is a terminal. A meter that falls silent is waited for and the download resumed."));
    PortOptions port_options;
    port_options.addTo(parser);
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write the CSV to FILE (replaced whole, only on success; \"-\" is standard\n"
                                                   "output). A FIFO, a device or a folder at FILE is refused."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("Give up after S seconds without an answer (default 30)."),
                                  QStringLiteral("S"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object a record (the CSV's columns) instead of CSV."));
    const QCommandLineOption lf(QStringLiteral("lf"),
                                QStringLiteral("LF line ends instead of CR LF on standard output (a file keeps CR LF)."));
    for (const auto& o : {output, wait, json, lf}) parser.addOption(o);
    if (const auto status = parse(parser, kCommand, args)) return *status;

    QString error;
    const auto choice = port_choice(parser, port_options, error);
    std::optional<long long> wait_s = kDefaultWait.count();
    if (parser.isSet(wait)) wait_s = whole_number(parser.value(wait), 1, 24 * 3600);
    if (!choice || !wait_s) {
        complain(kCommand, choice ? QStringLiteral("--wait: expected whole seconds from 1 to 86400") : error);
        return kUsage;
    }
    if (parser.isSet(output) && parser.value(output).isEmpty()) {
        complain(kCommand, QStringLiteral("-o: the file name is empty"));
        return kUsage;
    }
    const QString file = parser.isSet(output) && !names_stdout(parser.value(output)) ? parser.value(output) : QString();
    // Refused before the download, not after it: nothing at FILE is replaced but a regular file.
    if (!file.isEmpty()) {
        if (const auto why = output_refusal(file)) {
            complain(kCommand, QStringLiteral("cannot write %1: %2").arg(file, *why));
            return kFailure;
        }
    }

    MSComm port;
    if (const auto why = open_port(port, *choice)) {
        complain(kCommand, *why);
        return kFailure;
    }
    Download download(port, *choice, seconds(*wait_s), !quiet(parser) && ::isatty(STDERR_FILENO) == 1);
    catch_quit_signals(app, [&] { download.interrupt(); });
    download.start();
    app.exec();
    port.setPortOpen(false);

    const bool complete = download.status == kSuccess;
    const bool memory_ended = !download.note.isEmpty();
    if (!complete && !memory_ended) {
        complain(kCommand, download.reason);
        return kFailure;
    }
    // The records the meter holds are written even when its memory ended before its count.
    QByteArray text;
    if (parser.isSet(json)) {
        for (const FileRecord& r : download.records) text += records_json_line(r);
    } else {
        text = records_csv(download.records);
    }
    if (!file.isEmpty()) {
        if (const auto why = write_file_atomically(file, text)) {
            complain(kCommand, QStringLiteral("cannot write %1: %2").arg(file, *why));
            return kFailure;
        }
    } else {
        if (parser.isSet(lf)) text = lf_lines(text);
        switch (write_stdout(text)) {
        case Written::Yes: break;
        case Written::ReaderGone: return kSuccess; // the reader has what it wanted
        case Written::Failed:
            complain(kCommand, QStringLiteral("cannot write the records: %1").arg(reason_text(errno)));
            return kFailure;
        }
    }
    if (memory_ended) {
        complain(kCommand, download.note);
        return kFailure;
    }
    return kSuccess;
}

} // namespace tessaro::cli
