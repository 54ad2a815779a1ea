// The meter simulator seen from the program's side of its pseudo-terminal.
#include "meter_sim.h"
#include "meter_sim_options.h"
#include "support/generous_wait.h"
#include "support/pty_pair.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <vector>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using tessaro::MeterRequest;
using tessaro::MeterSim;
using tessaro::MeterSimOptions;
using tessaro::RequestKind;
using namespace std::chrono_literals;

namespace {

using tessaro::test::kWaitMs;

// The program's end of the line: opens the link like the program does, raw and non-blocking.
class ProgramEnd {
  public:
    explicit ProgramEnd(const QString& link) {
        fd_ = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        if (tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~ProgramEnd() {
        if (fd_ >= 0) ::close(fd_);
    }
    ProgramEnd(const ProgramEnd&) = delete;
    ProgramEnd& operator=(const ProgramEnd&) = delete;

    bool ok() const { return fd_ >= 0; }
    void write(const QByteArray& bytes) {
        QCOMPARE(::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    }
    // As the program sends an address: two blocks of two bytes.
    void send(quint16 address) {
        write(QByteArray::fromRawData("\0", 1) + char(address >> 8));
        write(QByteArray::fromRawData("\0", 1) + char(address & 0xFF));
    }
    // Reads what has arrived; true once at least n bytes are held.
    bool fill(qsizetype n) {
        char buf[256];
        ssize_t r = 0;
        while ((r = ::read(fd_, buf, sizeof buf)) > 0)
            got_.append(buf, r);
        return got_.size() >= n;
    }
    QByteArray take() { return std::exchange(got_, {}); }
    bool hungUp() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }

  private:
    int fd_ = -1;
    QByteArray got_;
};

QList<QByteArray> fromHexList(const QStringList& hex) {
    QList<QByteArray> out;
    for (const QString& h : hex)
        out.append(QByteArray::fromHex(h.toLatin1()));
    return out;
}

const QStringList kThreeRecords{"8123410c020e091e", "0fa0301803040a2b", "00054218030b1700"};

} // namespace

class TestMeterSim : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString link_;

    MeterSimOptions options() const {
        MeterSimOptions o;
        o.link = link_;
        o.records = fromHexList(kThreeRecords);
        return o;
    }

  private slots:
    void init() { link_ = dir_.filePath(QStringLiteral("ports/com1")); }
    void cleanup() { QFile::remove(link_); }

    void answers_data();
    void answers();
    void liveFrames_data();
    void liveFrames();
    void liveWaves_data();
    void liveWaves();
    void unknownAddresses_data();
    void unknownAddresses();
    void resync_data();
    void resync();
    void faults_data();
    void faults();
    void silenceEnds();
    void splitReplies();
    void mergedReplies();
    void garbageAndFf();
    void latencyAndPacing_data();
    void latencyAndPacing();
    void recordsFile_data();
    void recordsFile();
    void commandLine_data();
    void commandLine();
    void generatedRecords();
    void disappearAndReappear();
    void linkLifecycle();
    void program_data();
    void program();
    void programHelp();
};

void TestMeterSim::answers_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray empty(8, char(0xFF));
    const QList<QByteArray> r = fromHexList(kThreeRecords);
    QTest::newRow("port check") << -1 << 6000 << QByteArray::fromHex("1964");
    QTest::newRow("count of held records") << -1 << 5000 << QByteArray::fromHex("0003");
    QTest::newRow("count below held") << 1 << 5000 << QByteArray::fromHex("0001");
    QTest::newRow("count above held") << 300 << 5000 << QByteArray::fromHex("012c");
    QTest::newRow("count big-endian") << 0xABCD << 5000 << QByteArray::fromHex("abcd");
    QTest::newRow("live") << -1 << 7000 << QByteArray::fromHex("04d241");
    QTest::newRow("first pair") << -1 << 257 << r[0] + r[1];
    QTest::newRow("pair past the end") << -1 << 259 << r[2] + empty;
    QTest::newRow("pair beyond memory") << -1 << 261 << empty + empty;
    QTest::newRow("records held past the count") << 1 << 259 << r[2] + empty;
}

void TestMeterSim::answers() {
    // Catches a wrong reply to any request the program makes, or a count tied to the records held.
    QFETCH(int, count);
    QFETCH(int, address);
    QFETCH(QByteArray, reply);
    MeterSimOptions o = options();
    if (count >= 0) o.reportedCount = count;
    MeterSim sim(o);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    ProgramEnd end(link_);
    QVERIFY(end.ok());
    end.send(static_cast<quint16>(address));
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(reply.size()), kWaitMs);
    QCOMPARE(end.take(), reply);
    QCOMPARE(sim.served(MeterSim::kindOf(static_cast<quint16>(address))), 1);
    QCOMPARE(sim.addresses(), QList<quint16>{static_cast<quint16>(address)});
}

void TestMeterSim::liveFrames_data() {
    QTest::addColumn<int>("liveCount");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("overload");
    QTest::addColumn<bool>("lowBattery");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << 123 << 0x41 << false << false << QByteArray::fromHex("007b41");
    QTest::newRow("high bits") << 0x7FFF << 0x30 << false << false << QByteArray::fromHex("7fff30");
    QTest::newRow("low battery") << 10 << 0x40 << false << true << QByteArray::fromHex("800a40");
    QTest::newRow("overload") << 123 << 0x41 << true << false << QByteArray::fromHex("0fa041");
    QTest::newRow("overload, low battery") << 123 << 0x32 << true << true << QByteArray::fromHex("8fa032");
    QTest::newRow("no reading") << 5 << 0xFF << false << false << QByteArray::fromHex("0005ff");
}

void TestMeterSim::liveFrames() {
    // Catches the low-battery bit, the overload count or the range landing in the wrong byte.
    QFETCH(int, liveCount);
    QFETCH(int, range);
    QFETCH(bool, overload);
    QFETCH(bool, lowBattery);
    QFETCH(QByteArray, frame);
    MeterSimOptions o = options();
    o.liveCount = liveCount;
    o.liveRange = static_cast<quint8>(range);
    o.overload = overload;
    o.lowBattery = lowBattery;
    MeterSim sim(o);
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.send(7000);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(3), kWaitMs);
    QCOMPARE(end.take(), frame);
}

void TestMeterSim::liveWaves_data() {
    QTest::addColumn<int>("wave");
    QTest::newRow("sine") << int(tessaro::LiveWave::Sine);
    QTest::newRow("ramp") << int(tessaro::LiveWave::Ramp);
    QTest::newRow("walk") << int(tessaro::LiveWave::RandomWalk);
}

void TestMeterSim::liveWaves() {
    // Catches a waveform leaving its band or going negative (a count that wraps through 0x7F).
    QFETCH(int, wave);
    MeterSimOptions o = options();
    o.wave = static_cast<tessaro::LiveWave>(wave);
    o.liveCount = 50;
    o.liveAmplitude = 200;
    o.livePeriod = 40ms;
    o.pacing = false;
    MeterSim sim(o);
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    for (int i = 0; i < 12; ++i) {
        end.send(7000);
        QTRY_VERIFY_WITH_TIMEOUT(end.fill(3), kWaitMs);
        const QByteArray f = end.take();
        const int count = (quint8(f[0]) & 0x7F) * 256 + quint8(f[1]);
        QVERIFY2(count >= 0 && count <= 250, qPrintable(QString::number(count)));
        QCOMPARE(quint8(f[0]) & 0x80, 0);
        QCOMPARE(quint8(f[2]), quint8(0x41));
    }
}

void TestMeterSim::unknownAddresses_data() {
    QTest::addColumn<int>("address");
    for (int a : {0, 1, 255, 256, 258, 4998, 5002, 6002, 65534})
        QTest::addRow("%d", a) << a;
}

void TestMeterSim::unknownAddresses() {
    // Catches an answer to an address the meter does not know, which would shift every later reply.
    QFETCH(int, address);
    MeterSim sim(options());
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.send(static_cast<quint16>(address));
    end.send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(2), kWaitMs);
    QCOMPARE(end.take(), QByteArray::fromHex("1964"));
    QCOMPARE(sim.addresses(), (QList<quint16>{static_cast<quint16>(address), 6000}));
    QCOMPARE(sim.served(RequestKind::Other), 0);
}

void TestMeterSim::resync_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("piece");
    QTest::addColumn<QByteArray>("output");
    const QByteArray check = QByteArray::fromHex("00170070");
    const QByteArray count = QByteArray::fromHex("00130088");
    QTest::newRow("garbage before") << QByteArray::fromHex("ff7a") + check << 64
                                    << QByteArray::fromHex("1964");
    QTest::newRow("stray zero before")
        << QByteArray::fromHex("00") + check << 64 << QByteArray::fromHex("1964");
    QTest::newRow("two requests in one write") << check + count << 64 << QByteArray::fromHex("19640003");
    QTest::newRow("byte by byte") << check + count << 1 << QByteArray::fromHex("19640003");
    QTest::newRow("garbage between, in pieces")
        << check + QByteArray::fromHex("55aa") + count << 3 << QByteArray::fromHex("19640003");
}

void TestMeterSim::resync() {
    // Catches a parser that loses the request framing on stray bytes or on pieces of a request.
    QFETCH(QByteArray, input);
    QFETCH(int, piece);
    QFETCH(QByteArray, output);
    MeterSim sim(options());
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    for (qsizetype i = 0; i < input.size(); i += piece) {
        end.write(input.mid(i, piece));
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(output.size()), kWaitMs);
    QCOMPARE(end.take(), output);
}

void TestMeterSim::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<quint16>>("requests");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("answered");
    QTest::newRow("wrong check for the first two")
        << "bad-check 2" << QList<quint16>{6000, 6000, 6000} << QByteArray::fromHex("196519651964") << 3;
    QTest::newRow("count over 4600 once")
        << "count-over 1" << QList<quint16>{5000, 6000, 5000} << QByteArray::fromHex("11f919640003") << 3;
    QTest::newRow("silent after two")
        << "silent-after 2" << QList<quint16>{6000, 5000, 6000, 7000} << QByteArray::fromHex("19640003") << 2;
    QTest::newRow("silent from start") << "silent-at 0" << QList<quint16>{6000, 5000} << QByteArray() << 0;
    QTest::newRow("silent on the count, after two checks")
        << "silent-on 5000" << QList<quint16>{6000, 6000, 5000, 6000} << QByteArray::fromHex("19641964") << 2;
}

void TestMeterSim::faults() {
    // Catches a fault played on the wrong request, or an answer sent while the meter is silent.
    QFETCH(QString, fault);
    QFETCH(QList<quint16>, requests);
    QFETCH(QByteArray, output);
    QFETCH(int, answered);
    MeterSimOptions o = options();
    const QStringList f = fault.split(' ');
    const int n = f[1].toInt();
    if (f[0] == u"bad-check")
        o.badChecks = n;
    else if (f[0] == u"count-over")
        o.countOver = n;
    else if (f[0] == u"silent-after")
        o.silentAfter = n;
    else if (f[0] == u"silent-at")
        o.silentAt = std::chrono::milliseconds(n);
    else if (f[0] == u"silent-on")
        o.silentOn = n;
    MeterSim sim(o);
    qsizetype written = 0;
    connect(&sim, &MeterSim::bytesWritten, this, [&](const QByteArray& b) { written += b.size(); });
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    for (int i = 0; i < requests.size(); ++i) {
        end.send(requests[i]);
        QTRY_COMPARE_WITH_TIMEOUT(sim.addresses().size(), i + 1, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim.outputIdle(), kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(output.size()), kWaitMs);
    QCOMPARE(end.take(), output);
    QCOMPARE(written, output.size());
    int served = 0;
    for (int k = 0; k < tessaro::kRequestKinds; ++k)
        served += sim.served(static_cast<RequestKind>(k));
    QCOMPARE(served, answered);
}

void TestMeterSim::silenceEnds() {
    // Catches a silence that never ends, or that swallows the request after it.
    MeterSimOptions o = options();
    o.silentAfter = 1;
    o.silentFor = 150ms;
    MeterSim sim(o);
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(2), kWaitMs);
    end.send(6000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.addresses().size(), 2, kWaitMs);
    QVERIFY(sim.outputIdle());
    QCOMPARE(sim.served(RequestKind::PortCheck), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.silentNow(), kWaitMs);
    end.send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(4), kWaitMs);
    QCOMPARE(end.take(), QByteArray::fromHex("19641964"));
    QCOMPARE(sim.served(RequestKind::PortCheck), 2);
}

void TestMeterSim::splitReplies() {
    // Catches a split reply written in one piece, reordered, or with bytes lost between the writes.
    MeterSimOptions o = options();
    o.split = true;
    o.splitGap = 3ms;
    MeterSim sim(o);
    QList<QByteArray> writes;
    connect(&sim, &MeterSim::bytesWritten, this, [&](const QByteArray& b) { writes.append(b); });
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.send(257);
    end.send(5000);
    const QByteArray expected =
        fromHexList(kThreeRecords)[0] + fromHexList(kThreeRecords)[1] + QByteArray::fromHex("0003");
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(expected.size()), kWaitMs);
    QCOMPARE(end.take(), expected);
    QCOMPARE(writes.size(), expected.size());
    for (const QByteArray& w : writes)
        QCOMPARE(w.size(), 1);
}

void TestMeterSim::mergedReplies() {
    // Catches a held reply that is lost, or sent apart from the reply it should ride with.
    MeterSimOptions o = options();
    o.mergeEvery = 2;
    o.pacing = false;
    MeterSim sim(o);
    QList<QByteArray> writes;
    connect(&sim, &MeterSim::bytesWritten, this, [&](const QByteArray& b) { writes.append(b); });
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    const QList<quint16> requests{6000, 5000, 6000};
    for (int i = 0; i < requests.size(); ++i) {
        end.send(requests[i]);
        QTRY_COMPARE_WITH_TIMEOUT(sim.addresses().size(), i + 1, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim.outputIdle(), kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(6), kWaitMs);
    QCOMPARE(end.take(), QByteArray::fromHex("196400031964"));
    QCOMPARE(writes, (QList<QByteArray>{QByteArray::fromHex("1964"), QByteArray::fromHex("00031964")}));
}

void TestMeterSim::garbageAndFf() {
    // Catches garbage that replaces the reply instead of following it, and 0xFF faults that go nowhere.
    MeterSimOptions o = options();
    o.garbageRate = 1.0;
    o.ffRate = 1.0;
    MeterSim sim(o);
    qsizetype written = 0;
    connect(&sim, &MeterSim::bytesWritten, this, [&](const QByteArray& b) { written += b.size(); });
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.send(6000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.addresses().size(), 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(sim.outputIdle(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(written), kWaitMs);
    const QByteArray check = end.take();
    QVERIFY(check.startsWith(QByteArray::fromHex("1964")));
    QVERIFY2(check.size() >= 3 && check.size() <= 5, check.toHex().constData());

    end.send(257);
    QTRY_COMPARE_WITH_TIMEOUT(sim.addresses().size(), 2, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(sim.outputIdle(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(written - check.size()), kWaitMs);
    const QByteArray pair = end.take();
    QVERIFY(pair.size() >= 17);
    const QList<QByteArray> held = fromHexList(kThreeRecords);
    for (int i = 0; i < 2; ++i) {
        const QByteArray frame = pair.mid(8 * i, 8);
        int differing = 0;
        for (int b = 0; b < 8; ++b) {
            if (frame[b] != held[i][b]) {
                ++differing;
                QCOMPARE(quint8(frame[b]), quint8(0xFF));
            }
        }
        QVERIFY(differing <= 1);
        QVERIFY(frame.contains(char(0xFF)));
    }
    QCOMPARE(sim.records(), held);
}

void TestMeterSim::latencyAndPacing_data() {
    QTest::addColumn<int>("latencyMin");
    QTest::addColumn<int>("latencyMax");
    QTest::addColumn<bool>("pacing");
    QTest::newRow("fixed latency") << 30 << 30 << false;
    QTest::newRow("random latency, paced") << 5 << 40 << true;
    QTest::newRow("paced only") << 0 << 0 << true;
}

void TestMeterSim::latencyAndPacing() {
    // Catches replies that leave before their request has arrived plus the latency, overlap on the
    // line, or get their bytes ahead of the 4800 baud schedule.
    QFETCH(int, latencyMin);
    QFETCH(int, latencyMax);
    QFETCH(bool, pacing);
    MeterSimOptions o = options();
    o.latencyMin = std::chrono::milliseconds(latencyMin);
    o.latencyMax = std::chrono::milliseconds(latencyMax);
    o.pacing = pacing;
    MeterSim sim(o);
    QList<MeterRequest> requests;
    QList<qint64> byte_times;
    connect(&sim, &MeterSim::requestHandled, this, [&](const MeterRequest& r) { requests.append(r); });
    connect(&sim, &MeterSim::bytesWritten, this, [&](const QByteArray& b, qint64 at) {
        for (qsizetype i = 0; i < b.size(); ++i)
            byte_times.append(at);
    });
    QVERIFY(sim.start());
    ProgramEnd end(link_);
    end.write(QByteArray::fromHex("00170070"
                                  "00010001"
                                  "001b0058"));
    QByteArray expected;
    const QList<QByteArray> held = fromHexList(kThreeRecords);
    expected = QByteArray::fromHex("1964") + held[0] + held[1] + QByteArray::fromHex("04d241");
    QTRY_VERIFY_WITH_TIMEOUT(end.fill(expected.size()), kWaitMs);
    QCOMPARE(end.take(), expected);
    QCOMPARE(requests.size(), 3);
    QCOMPARE(byte_times.size(), expected.size());

    const qint64 byte_ns = pacing ? MeterSim::kByteNs : 0;
    const qint64 min_latency_ns = qint64(latencyMin) * 1'000'000;
    qsizetype first = 0;
    for (int i = 0; i < requests.size(); ++i) {
        const MeterRequest& r = requests[i];
        QVERIFY(r.answered);
        if (i > 0) QVERIFY(r.arrivalNs >= requests[i - 1].arrivalNs + 4 * byte_ns);
        QVERIFY(r.replyStartNs >= r.arrivalNs + min_latency_ns);
        const qsizetype last = first + r.reply.size() - 1;
        QVERIFY(byte_times[first] >= r.replyStartNs + byte_ns);
        QVERIFY(byte_times[last] >= r.replyStartNs + r.reply.size() * byte_ns);
        first = last + 1;
    }
}

void TestMeterSim::recordsFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("error");
    QTest::newRow("plain") << QByteArray("8123410c020e091e\n0fa0301803040a2b\n")
                           << QStringList{"8123410c020e091e", "0fa0301803040a2b"} << QString();
    QTest::newRow("comments, blanks, upper case")
        << QByteArray("# two records\n\n  8123410C020E091E   # marked\n81 23 41 0c 02 0e 09 1f\r\n")
        << QStringList{"8123410c020e091e", "8123410c020e091f"} << QString();
    QTest::newRow("empty file") << QByteArray("# nothing\n") << QStringList{} << QString();
    QTest::newRow("short line") << QByteArray("8123410c020e091e\n8123\n") << QStringList{} << "line 2";
    QTest::newRow("not hex") << QByteArray("# c\n8123410c020e09zz\n") << QStringList{} << "line 2";
    QTest::newRow("too long") << QByteArray("8123410c020e091e00\n") << QStringList{} << "line 1";
}

void TestMeterSim::recordsFile() {
    // Catches a records file misread, and a bad line that crashes or half-fills the records.
    QFETCH(QByteArray, content);
    QFETCH(QStringList, records);
    QFETCH(QString, error);
    const QString path = dir_.filePath(QStringLiteral("records.txt"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    QList<QByteArray> loaded{QByteArray("untouched")};
    QString message;
    const bool ok = tessaro::loadRecordsFile(path, loaded, message);
    QCOMPARE(ok, error.isEmpty());
    if (ok) {
        QCOMPARE(loaded, fromHexList(records));
    } else {
        QVERIFY2(message.contains(error) && message.contains(path), qPrintable(message));
        QCOMPARE(loaded, QList<QByteArray>{QByteArray("untouched")});
    }
    QString missing;
    QVERIFY(!tessaro::loadRecordsFile(dir_.filePath(QStringLiteral("none.txt")), loaded, missing));
    QVERIFY(missing.contains(QStringLiteral("none.txt")));
}

void TestMeterSim::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("latencyMin");
    QTest::addColumn<int>("latencyMax");
    const QString bad = dir_.filePath(QStringLiteral("bad-records.txt"));
    QFile f(bad);
    if (f.open(QIODevice::WriteOnly)) f.write("0011223344556677\nnot a record\n");
    f.close();
    QTest::newRow("defaults") << QStringList{"--link", "p"} << "" << 100 << 100 << 0 << 0;
    QTest::newRow("count apart from records")
        << QStringList{"--link", "p", "--records", "4", "--count", "2"} << "" << 4 << 2 << 0 << 0;
    QTest::newRow("latency range") << QStringList{"--link", "p", "--latency", "5..40"} << "" << 100 << 100
                                   << 5 << 40;
    QTest::newRow("fixed latency") << QStringList{"--link", "p", "--latency", "12"} << "" << 100 << 100 << 12
                                   << 12;
    QTest::newRow("reversed latency")
        << QStringList{"--link", "p", "--latency", "40..5"} << "--latency" << 0 << 0 << 0 << 0;
    QTest::newRow("no link") << QStringList{"--records", "3"} << "--link" << 0 << 0 << 0 << 0;
    QTest::newRow("unknown wave") << QStringList{"--link", "p", "--live-wave", "square"} << "--live-wave" << 0
                                  << 0 << 0 << 0;
    QTest::newRow("negative records")
        << QStringList{"--link", "p", "--records", "-1"} << "--records" << 0 << 0 << 0 << 0;
    QTest::newRow("rate above 1") << QStringList{"--link", "p", "--ff-rate", "1.5"} << "--ff-rate" << 0 << 0
                                  << 0 << 0;
    QTest::newRow("silence length alone")
        << QStringList{"--link", "p", "--silent-for", "2"} << "--silent-for" << 0 << 0 << 0 << 0;
    QTest::newRow("silence on no address")
        << QStringList{"--link", "p", "--silent-on", "65536"} << "--silent-on" << 0 << 0 << 0 << 0;
    QTest::newRow("bad records file")
        << QStringList{"--link", "p", "--records-file", bad} << "line 2" << 0 << 0 << 0 << 0;
}

void TestMeterSim::commandLine() {
    // Catches an option read into the wrong field, or a bad value taken silently.
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(int, records);
    QFETCH(int, reported);
    QFETCH(int, latencyMin);
    QFETCH(int, latencyMax);
    QCommandLineParser parser;
    tessaro::addMeterSimOptions(parser);
    QVERIFY(parser.parse(QStringList{"tessaro-meter-sim"} + args));
    MeterSimOptions o;
    QString message;
    const bool ok = tessaro::readMeterSimOptions(parser, o, message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    QCOMPARE(o.records.size(), records);
    MeterSim sim(o);
    QCOMPARE(sim.reportedCount(), reported);
    QCOMPARE(int(o.latencyMin.count()), latencyMin);
    QCOMPARE(int(o.latencyMax.count()), latencyMax);
}

void TestMeterSim::generatedRecords() {
    // Catches generated records with dates that go backwards or are impossible, a missing range
    // code, or no marked and no overload records to show.
    const QList<QByteArray> recs = tessaro::generateRecords(300, 7);
    QCOMPARE(recs.size(), 300);
    QCOMPARE(tessaro::generateRecords(300, 7), recs);
    QSet<int> ranges;
    int marked = 0;
    int overload = 0;
    QDateTime previous;
    for (const QByteArray& r : recs) {
        QCOMPARE(r.size(), 8);
        const int count = (quint8(r[0]) & 0x7F) * 256 + quint8(r[1]);
        QVERIFY(count <= 4799);
        marked += (quint8(r[0]) & 0x80) ? 1 : 0;
        overload += (count >= 3701) ? 1 : 0;
        ranges.insert(quint8(r[2]));
        const QDateTime t(QDate(2000 + quint8(r[3]), quint8(r[4]), quint8(r[5])),
                          QTime(quint8(r[6]), quint8(r[7])));
        QVERIFY2(t.isValid(), r.toHex().constData());
        if (previous.isValid()) QVERIFY(t > previous);
        previous = t;
    }
    QCOMPARE(ranges, (QSet<int>{0x30, 0x31, 0x32, 0x33, 0x40, 0x41, 0x42, 0x43}));
    QVERIFY(marked > 0 && marked < 300);
    QVERIFY(overload > 0 && overload < 300);
}

void TestMeterSim::disappearAndReappear() {
    // Catches a device that does not go away for the program, or comes back behind a stale link.
    MeterSimOptions o = options();
    o.disappearAfter = 1;
    o.disappearFor = 50ms;
    MeterSim sim(o);
    QVERIFY(sim.start());
    const QString first_slave = sim.slavePath();
    QCOMPARE(QFile::symLinkTarget(link_), first_slave);
    bool link_usable_while_gone = true;
    connect(&sim, &MeterSim::disappeared, this, [&] { link_usable_while_gone = QFileInfo::exists(link_); });
    QSignalSpy reappeared(&sim, &MeterSim::reappeared);

    auto end = std::make_unique<ProgramEnd>(link_);
    end->send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end->fill(2), kWaitMs);
    QCOMPARE(end->take(), QByteArray::fromHex("1964"));
    end->send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end->hungUp(), kWaitMs);
    QVERIFY(!link_usable_while_gone);

    QTRY_COMPARE_WITH_TIMEOUT(reappeared.size(), 1, kWaitMs);
    QVERIFY(sim.isPresent());
    QCOMPARE(QFile::symLinkTarget(link_), sim.slavePath());
    QCOMPARE(reappeared.front().front().toString(), sim.slavePath());
    end = std::make_unique<ProgramEnd>(link_);
    QVERIFY(end->ok());
    end->send(6000);
    QTRY_VERIFY_WITH_TIMEOUT(end->fill(2), kWaitMs);
    QCOMPARE(end->take(), QByteArray::fromHex("1964"));
    QCOMPARE(sim.addresses(), (QList<quint16>{6000, 6000, 6000}));

    // Played on demand, the fault needs no option.
    const QString gone_slave = sim.slavePath();
    sim.disappear();
    QVERIFY(!sim.isPresent());
    QTRY_VERIFY_WITH_TIMEOUT(end->hungUp(), kWaitMs);
    // The system gives the freed number to the next pseudo-terminal opened (here ours, on a shared
    // machine anyone's): the link must not lead the program to that stranger's line.
    end.reset();
    std::vector<std::unique_ptr<tessaro::test::PtyPair>> others;
    while (others.size() < 64) {
        others.push_back(std::make_unique<tessaro::test::PtyPair>());
        if (others.back()->slavePath() == gone_slave) break;
    }
    QVERIFY(!QFileInfo::exists(link_));
    QVERIFY(sim.reappear());
    QCOMPARE(QFile::symLinkTarget(link_), sim.slavePath());
}

void TestMeterSim::linkLifecycle() {
    // Catches a link left behind after stop, an old symlink not replaced, or a user's file clobbered.
    QVERIFY(QDir().mkpath(QFileInfo(link_).absolutePath()));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/old-device"), link_));
    {
        MeterSim sim(options());
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        QCOMPARE(QFile::symLinkTarget(link_), sim.slavePath());
        ProgramEnd end(link_);
        QVERIFY(end.ok());
        sim.stop();
        QVERIFY(!QFileInfo(link_).isSymLink());
        QTRY_VERIFY_WITH_TIMEOUT(end.hungUp(), kWaitMs);
    }
    QFile user_file(link_);
    QVERIFY(user_file.open(QIODevice::WriteOnly));
    user_file.write("keep me");
    user_file.close();
    MeterSim sim(options());
    QVERIFY(!sim.start());
    QVERIFY2(sim.errorString().contains(link_), qPrintable(sim.errorString()));
    QVERIFY(user_file.open(QIODevice::ReadOnly));
    QCOMPARE(user_file.readAll(), QByteArray("keep me"));
}

void TestMeterSim::program_data() {
    QTest::addColumn<bool>("terminate");
    QTest::newRow("SIGTERM") << true;
    QTest::newRow("--exit-after") << false;
}

void TestMeterSim::program() {
    // Catches a program that prints no device, answers nothing, or leaves its link behind on exit.
    QFETCH(bool, terminate);
    QProcess p;
    QStringList args{"--link", link_, "--records", "2", "--no-pacing"};
    if (!terminate)
        args << "--exit-after"
             << "1";
    p.start(QStringLiteral(METER_SIM_EXE), args);
    QVERIFY(p.waitForStarted(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), kWaitMs);
    const QString slave = QString::fromLocal8Bit(p.readLine()).trimmed();
    QCOMPARE(QFile::symLinkTarget(link_), slave);
    {
        ProgramEnd end(link_);
        end.send(5000);
        QTRY_VERIFY_WITH_TIMEOUT(end.fill(2), kWaitMs);
        QCOMPARE(end.take(), QByteArray::fromHex("0002"));
    }
    if (terminate) p.terminate();
    QVERIFY(p.waitForFinished(kWaitMs));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(!QFileInfo(link_).isSymLink());
}

void TestMeterSim::programHelp() {
    // Catches an option missing from --help.
    QProcess p;
    p.start(QStringLiteral(METER_SIM_EXE), {"--help"});
    QVERIFY(p.waitForFinished(kWaitMs));
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QList<QCommandLineOption> options = tessaro::meterSimOptions();
    QVERIFY(options.size() > 20);
    for (const QCommandLineOption& o : options) {
        const QString name = o.names().front();
        QVERIFY2(help.contains("--" + name) && help.contains(o.description().left(30)), qPrintable(name));
    }
    QVERIFY(help.contains(QStringLiteral("--exit-after")));
}

QTEST_GUILESS_MAIN(TestMeterSim)
#include "tst_metersim.moc"
