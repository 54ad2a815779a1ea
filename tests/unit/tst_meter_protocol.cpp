// The meter protocol rules: request bytes, reply lengths, reply decoding and the exchange rules.
#include "link/meter_exchange.h"
#include "link/meter_protocol.h"

#include <QTest>

using namespace tessaro;
using namespace std::chrono_literals;

class TstMeterProtocol : public QObject {
    Q_OBJECT
private slots:
    void requestBytes_data();
    void requestBytes();
    void countReply_data();
    void countReply();
    void recordFrame_data();
    void recordFrame();
    void exchangeHoldsTheLine();
};

void TstMeterProtocol::requestBytes_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("replyBytes");
    QTest::newRow("port check") << 6000 << QByteArray::fromHex("00170070") << 2;
    QTest::newRow("count") << 5000 << QByteArray::fromHex("00130088") << 2;
    QTest::newRow("live") << 7000 << QByteArray::fromHex("001b0058") << 3;
    QTest::newRow("first pair") << 257 << QByteArray::fromHex("00010001") << 16;
    QTest::newRow("second pair") << 259 << QByteArray::fromHex("00010003") << 16;
    QTest::newRow("last address") << 65535 << QByteArray::fromHex("00ff00ff") << 16;
    QTest::newRow("not a pair") << 258 << QByteArray::fromHex("00010002") << 0;
}

void TstMeterProtocol::requestBytes() {
    // Catches a request with its address bytes swapped or without the 00 in front of each, and a
    // reply length that would arm the port for the wrong number of bytes.
    QFETCH(int, address);
    QFETCH(QByteArray, wire);
    QFETCH(int, replyBytes);
    QCOMPARE(encode_request(static_cast<uint16_t>(address)), wire);
    QCOMPARE(reply_length(static_cast<uint16_t>(address)), replyBytes);
}

void TstMeterProtocol::countReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("count"); // -1: refused
    QTest::newRow("zero") << QByteArray::fromHex("0000") << 0;
    QTest::newRow("limit") << QByteArray::fromHex("11f8") << 4600;
    QTest::newRow("above limit") << QByteArray::fromHex("11f9") << -1;
    QTest::newRow("above 16-bit signed") << QByteArray::fromHex("8010") << -1;
    QTest::newRow("all ones") << QByteArray::fromHex("ffff") << -1;
    QTest::newRow("short") << QByteArray::fromHex("11") << -1;
    QTest::newRow("extra bytes ignored") << QByteArray::fromHex("000399") << 3;
}

void TstMeterProtocol::countReply() {
    // Catches a count that wraps to a negative 16-bit value or passes the 4600 limit.
    QFETCH(QByteArray, reply);
    QFETCH(int, count);
    const std::optional<int> got = decode_count(reply);
    QCOMPARE(got.value_or(-1), count);
    QCOMPARE(is_port_check_answer(QByteArray::fromHex("1964")), true);
    QCOMPARE(is_port_check_answer(QByteArray::fromHex("19")), false);
}

void TstMeterProtocol::recordFrame_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("decoded");
    QTest::newRow("marked record") << QByteArray::fromHex("8123410c020e091e") << false << true;
    QTest::newRow("ff in minute") << QByteArray::fromHex("0123410c020e09ff") << true << false;
    QTest::newRow("ff in year") << QByteArray::fromHex("012341ff020e091e") << true << false;
    QTest::newRow("ff in count is a record") << QByteArray::fromHex("ffff410c020e091e") << false << true;
    QTest::newRow("short") << QByteArray::fromHex("0123410c020e09") << false << false;
}

void TstMeterProtocol::recordFrame() {
    // Catches an empty slot taken for a record (or a record for an empty slot) and a frame decoded
    // with the mark bit inside the count.
    QFETCH(QByteArray, frame);
    QFETCH(bool, empty);
    QFETCH(bool, decoded);
    QCOMPARE(is_empty_slot(frame), empty);
    const std::optional<RecordFrame> r = decode_record_frame(frame);
    QCOMPARE(r.has_value(), decoded);
    if (!r) return;
    const auto b = [&](int i) { return static_cast<uint8_t>(frame[i]); };
    QCOMPARE(r->mark, (b(0) & 0x80) != 0);
    QCOMPARE(r->count, (b(0) & 0x7F) * 256 + b(1));
    QCOMPARE(r->range, b(2));
    QCOMPARE(r->time[4], b(7));
}

void TstMeterProtocol::exchangeHoldsTheLine() {
    // Catches a request let onto the line while the reply to the one before can still arrive.
    using Clock = MeterExchange::Clock;
    const Clock::time_point t0{};
    MeterExchange x;
    QVERIFY(x.lineFree(t0));
    x.sent(kFirstPairAddress, t0);
    QVERIFY(!x.lineFree(t0 + 1ms));
    QCOMPARE(x.dueAddress(t0 + 1ms).value_or(0), kFirstPairAddress);
    QVERIFY(x.take(8, t0 + 40ms).more_due);
    QVERIFY(!x.lineFree(t0 + 40ms));
    QVERIFY(!x.take(8, t0 + 45ms).more_due);
    QVERIFY(x.lineFree(t0 + 45ms));
    // A reply that never comes frees the line once its time is over.
    x.sent(kPortCheckAddress, t0);
    QVERIFY(!x.lineFree(t0 + 1ms));
    QVERIFY(x.lineFree(x.freeAt()));
    // Given up (watchdog, port closed): a late answer is dropped, and the line stays held until it
    // can no longer arrive.
    x.sent(kLiveAddress, t0);
    x.giveUp();
    QVERIFY(!x.lineFree(t0 + 900ms));
    QVERIFY(!x.dueAddress(t0 + 900ms));
    QVERIFY(x.take(3, t0 + 900ms).dropped);
    QVERIFY(x.lineFree(t0 + 900ms));
}

QTEST_GUILESS_MAIN(TstMeterProtocol)
#include "tst_meter_protocol.moc"
