// Records generation, the records file and the simulator's command line.
#include "meter_sim_options.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <cmath>

namespace tessaro {

namespace {

constexpr std::array<quint8, 8> kRangeCodes{0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43};
constexpr int kPlainCountMax = 3700;
constexpr int kOverloadLow = 3701;
constexpr int kOverloadHigh = 4799;
constexpr int kMaxMinutesBetweenRecords = 180;

struct OptionEntry {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* help;
};

// Every option of the program, in the order --help lists them.
constexpr OptionEntry kOptions[] = {
    {"link", "path", "Symlink to create, pointing at the simulated meter's port (required)."},
    {"records", "n", "Number of generated records held in the meter's memory (default 100)."},
    {"records-file", "file",
     "Read the held records from a file: one record a line as 16 hex digits (the 8 bytes), "
     "'#' starts a comment."},
    {"count", "n",
     "Record count answered to 5000 (0..65535), independent of the records held (default: records held)."},
    {"seed", "n", "Seed of generated records and random faults (default 1)."},
    {"live-wave", "kind", "Live reading waveform: constant, sine, ramp or walk (default constant)."},
    {"live-count", "n", "Live count: the constant, or the centre of the waveform (default 1234)."},
    {"live-amplitude", "n", "Waveform amplitude in counts (default 300)."},
    {"live-period", "seconds", "Period of the sine and the ramp (default 10)."},
    {"live-range", "code", "Range code of live frames, decimal or 0x hex (default 0x41)."},
    {"overload", nullptr, "Live frames carry the overload count 4000."},
    {"low-battery", nullptr, "Live frames carry the low-battery bit."},
    {"latency", "ms", "Reply latency: fixed milliseconds, or a random range like 5..40 (default 0)."},
    {"no-pacing", nullptr, "Do not pace bytes at 4800 baud (10 bits a byte)."},
    {"silent-after", "n", "Fault: answer nothing after the first n requests."},
    {"silent-at", "seconds", "Fault: answer nothing from this moment after start."},
    {"silent-on", "address", "Fault: answer nothing from the first request for this address on."},
    {"silent-for", "seconds", "Length of the silence (default: until stopped)."},
    {"bad-check", "n", "Fault: answer the first n port checks with 0x19 0x65."},
    {"split", nullptr, "Fault: write each reply byte by byte in separate writes."},
    {"split-gap", "ms", "Gap between the writes of a split reply (default 5)."},
    {"merge-every", "n", "Fault: hold every n-th reply and send it together with the next one."},
    {"garbage-rate", "p", "Fault: chance (0..1) per reply of 1 to 3 random bytes after it."},
    {"count-over", "n", "Fault: answer the first n count requests with 4601."},
    {"ff-rate", "p", "Fault: chance (0..1) per record frame of a 0xFF byte at a random place."},
    {"disappear-after", "n", "Fault: the device disappears at the request after the first n."},
    {"disappear-at", "seconds", "Fault: the device disappears at this moment after start."},
    {"disappear-for", "seconds", "Time until the device reappears (default: stays gone)."},
    {"appear-at", "seconds", "Fault: the link to the device is made only this long after start (a late plug)."},
    {"babble", nullptr, "Fault: send random bytes at full speed without end, besides the answers."},
    {"log", nullptr, "Log each request served and its answer on stderr."},
};

bool readInt(const QCommandLineParser& p, const char* name, int lo, int hi, int& out, QString& error) {
    const QString name_text = QString::fromLatin1(name);
    if (!p.isSet(name_text)) return true;
    bool ok = false;
    const QString text = p.value(name_text).trimmed();
    const bool hex = text.startsWith(u"0x", Qt::CaseInsensitive);
    const int v = hex ? text.mid(2).toInt(&ok, 16) : text.toInt(&ok, 10);
    if (!ok || v < lo || v > hi) {
        error = QStringLiteral("--%1: expected a whole number from %2 to %3, got \"%4\"")
                    .arg(name_text)
                    .arg(lo)
                    .arg(hi)
                    .arg(text);
        return false;
    }
    out = v;
    return true;
}

bool readOptionalInt(const QCommandLineParser& p, const char* name, int lo, int hi, std::optional<int>& out,
                     QString& error) {
    if (!p.isSet(QString::fromLatin1(name))) return true;
    int v = 0;
    if (!readInt(p, name, lo, hi, v, error)) return false;
    out = v;
    return true;
}

bool readDouble(const QCommandLineParser& p, const char* name, double lo, double hi, double& out,
                QString& error) {
    const QString name_text = QString::fromLatin1(name);
    if (!p.isSet(name_text)) return true;
    bool ok = false;
    const QString text = p.value(name_text).trimmed();
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < lo || v > hi) {
        error = QStringLiteral("--%1: expected a number from %2 to %3, got \"%4\"")
                    .arg(name_text)
                    .arg(lo)
                    .arg(hi)
                    .arg(text);
        return false;
    }
    out = v;
    return true;
}

constexpr double kMaxSeconds = 7 * 24 * 3600.0;

bool readSeconds(const QCommandLineParser& p, const char* name, std::optional<std::chrono::milliseconds>& out,
                 QString& error) {
    if (!p.isSet(QString::fromLatin1(name))) return true;
    double s = 0;
    if (!readDouble(p, name, 0.0, kMaxSeconds, s, error)) return false;
    out = std::chrono::milliseconds(std::llround(s * 1000.0));
    return true;
}

bool readLatency(const QCommandLineParser& p, MeterSimOptions& o, QString& error) {
    if (!p.isSet(QStringLiteral("latency"))) return true;
    const QString text = p.value(QStringLiteral("latency")).trimmed();
    const QStringList parts = text.split(QStringLiteral(".."));
    constexpr int kMaxLatencyMs = 60000;
    bool ok = parts.size() == 1 || parts.size() == 2;
    int lo = 0;
    int hi = 0;
    if (ok) lo = parts.front().trimmed().toInt(&ok);
    if (ok) hi = parts.size() == 2 ? parts.back().trimmed().toInt(&ok) : lo;
    if (!ok || lo < 0 || hi < lo || hi > kMaxLatencyMs) {
        error = QStringLiteral("--latency: expected milliseconds (0 to %1) or a range like 5..40, got \"%2\"")
                    .arg(kMaxLatencyMs)
                    .arg(text);
        return false;
    }
    o.latencyMin = std::chrono::milliseconds(lo);
    o.latencyMax = std::chrono::milliseconds(hi);
    return true;
}

bool readWave(const QCommandLineParser& p, MeterSimOptions& o, QString& error) {
    if (!p.isSet(QStringLiteral("live-wave"))) return true;
    const QString text = p.value(QStringLiteral("live-wave")).trimmed().toLower();
    if (text == u"constant")
        o.wave = LiveWave::Constant;
    else if (text == u"sine")
        o.wave = LiveWave::Sine;
    else if (text == u"ramp")
        o.wave = LiveWave::Ramp;
    else if (text == u"walk")
        o.wave = LiveWave::RandomWalk;
    else {
        error = QStringLiteral("--live-wave: expected constant, sine, ramp or walk, got \"%1\"").arg(text);
        return false;
    }
    return true;
}

} // namespace

QList<QByteArray> generateRecords(int n, quint32 seed) {
    QRandomGenerator rng(seed);
    QList<QByteArray> out;
    if (n <= 0) return out;
    out.reserve(n);
    QDateTime t(QDate(2024, 3, 4), QTime(8, 0));
    for (int i = 0; i < n; ++i) {
        t = t.addSecs(60 * static_cast<qint64>(rng.bounded(1, kMaxMinutesBetweenRecords + 1)));
        const bool overload = i % 11 == 5;
        const int count = overload ? static_cast<int>(rng.bounded(kOverloadLow, kOverloadHigh + 1))
                                   : static_cast<int>(rng.bounded(0, kPlainCountMax + 1));
        const bool marked = i % 7 == 3;
        QByteArray r(8, '\0');
        r[0] = static_cast<char>((marked ? 0x80 : 0) | (count >> 8));
        r[1] = static_cast<char>(count & 0xFF);
        r[2] = static_cast<char>(kRangeCodes[static_cast<size_t>(i) % kRangeCodes.size()]);
        r[3] = static_cast<char>(t.date().year() % 100);
        r[4] = static_cast<char>(t.date().month());
        r[5] = static_cast<char>(t.date().day());
        r[6] = static_cast<char>(t.time().hour());
        r[7] = static_cast<char>(t.time().minute());
        out.append(r);
    }
    return out;
}

bool loadRecordsFile(const QString& path, QList<QByteArray>& records, QString& error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read records file %1: %2").arg(path, f.errorString());
        return false;
    }
    QList<QByteArray> out;
    int line_no = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        ++line_no;
        QByteArray digits = line;
        if (const qsizetype hash = digits.indexOf('#'); hash >= 0) digits.truncate(hash);
        digits = digits.simplified().replace(' ', QByteArray());
        if (digits.isEmpty()) continue;
        const bool hex = std::all_of(digits.cbegin(), digits.cend(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        });
        if (digits.size() != 16 || !hex) {
            error = QStringLiteral("records file %1, line %2: expected 16 hex digits (8 bytes), found \"%3\"")
                        .arg(path)
                        .arg(line_no)
                        .arg(QString::fromLocal8Bit(line.trimmed().left(80)));
            return false;
        }
        if (out.size() >= kMaxHeldRecords) {
            error = QStringLiteral("records file %1, line %2: more than %3 records")
                        .arg(path)
                        .arg(line_no)
                        .arg(kMaxHeldRecords);
            return false;
        }
        out.append(QByteArray::fromHex(digits));
    }
    records = out;
    return true;
}

QList<QCommandLineOption> meterSimOptions() {
    QList<QCommandLineOption> out;
    for (const OptionEntry& s : kOptions) {
        QCommandLineOption o(QString::fromLatin1(s.name), QString::fromLatin1(s.help));
        if (s.valueName) o.setValueName(QString::fromLatin1(s.valueName));
        out.append(o);
    }
    return out;
}

void addMeterSimOptions(QCommandLineParser& parser) {
    parser.addOptions(meterSimOptions());
}

bool readMeterSimOptions(const QCommandLineParser& p, MeterSimOptions& o, QString& error) {
    o.link = p.value(QStringLiteral("link"));
    if (o.link.isEmpty()) {
        error = QStringLiteral("--link PATH is required");
        return false;
    }
    if (p.isSet(QStringLiteral("records")) && p.isSet(QStringLiteral("records-file"))) {
        error = QStringLiteral("--records and --records-file exclude each other");
        return false;
    }
    int seed = 1;
    if (!readInt(p, "seed", 0, 0x7FFFFFFF, seed, error)) return false;
    o.seed = static_cast<quint32>(seed);
    if (p.isSet(QStringLiteral("records-file"))) {
        if (!loadRecordsFile(p.value(QStringLiteral("records-file")), o.records, error)) return false;
    } else {
        int n = 100;
        if (!readInt(p, "records", 0, kMaxHeldRecords, n, error)) return false;
        o.records = generateRecords(n, o.seed);
    }
    if (!readOptionalInt(p, "count", 0, 0xFFFF, o.reportedCount, error)) return false;

    if (!readWave(p, o, error)) return false;
    if (!readInt(p, "live-count", 0, 0x7FFF, o.liveCount, error)) return false;
    if (!readInt(p, "live-amplitude", 0, 0x7FFF, o.liveAmplitude, error)) return false;
    std::optional<std::chrono::milliseconds> period;
    if (!readSeconds(p, "live-period", period, error)) return false;
    if (period) {
        if (period->count() <= 0) {
            error = QStringLiteral("--live-period: must be above 0");
            return false;
        }
        o.livePeriod = *period;
    }
    int range = o.liveRange;
    if (!readInt(p, "live-range", 0, 0xFF, range, error)) return false;
    o.liveRange = static_cast<quint8>(range);
    o.overload = p.isSet(QStringLiteral("overload"));
    o.lowBattery = p.isSet(QStringLiteral("low-battery"));

    if (!readLatency(p, o, error)) return false;
    o.pacing = !p.isSet(QStringLiteral("no-pacing"));

    if (!readOptionalInt(p, "silent-after", 0, 0x7FFFFFFF, o.silentAfter, error)) return false;
    if (!readSeconds(p, "silent-at", o.silentAt, error)) return false;
    if (!readOptionalInt(p, "silent-on", 0, 0xFFFF, o.silentOn, error)) return false;
    if (!readSeconds(p, "silent-for", o.silentFor, error)) return false;
    if (o.silentFor && !o.silentAfter && !o.silentAt && !o.silentOn) {
        error = QStringLiteral("--silent-for needs --silent-after, --silent-at or --silent-on");
        return false;
    }
    if (!readInt(p, "bad-check", 0, 0x7FFFFFFF, o.badChecks, error)) return false;
    o.split = p.isSet(QStringLiteral("split"));
    int gap = static_cast<int>(o.splitGap.count());
    if (!readInt(p, "split-gap", 1, 1000, gap, error)) return false;
    o.splitGap = std::chrono::milliseconds(gap);
    if (!readInt(p, "merge-every", 0, 0x7FFFFFFF, o.mergeEvery, error)) return false;
    if (!readDouble(p, "garbage-rate", 0.0, 1.0, o.garbageRate, error)) return false;
    if (!readInt(p, "count-over", 0, 0x7FFFFFFF, o.countOver, error)) return false;
    if (!readDouble(p, "ff-rate", 0.0, 1.0, o.ffRate, error)) return false;
    if (!readOptionalInt(p, "disappear-after", 0, 0x7FFFFFFF, o.disappearAfter, error)) return false;
    if (!readSeconds(p, "disappear-at", o.disappearAt, error)) return false;
    if (!readSeconds(p, "disappear-for", o.disappearFor, error)) return false;
    if (o.disappearFor && !o.disappearAfter && !o.disappearAt) {
        error = QStringLiteral("--disappear-for needs --disappear-after or --disappear-at");
        return false;
    }
    if (!readSeconds(p, "appear-at", o.appearAt, error)) return false;
    o.babble = p.isSet(QStringLiteral("babble"));
    o.log = p.isSet(QStringLiteral("log"));
    return true;
}

} // namespace tessaro
