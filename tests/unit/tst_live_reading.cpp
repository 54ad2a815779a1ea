// Live frames: decoding, display text per range code, value in 0.01 mA, curve sample and window.
#include "link/live_reading.h"

#include <QTest>

using namespace tessaro;

class TstLiveReading : public QObject {
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void text_data();
    void text();
    void scaled_data();
    void scaled();
    void sample_data();
    void sample();
    void window_shift();
    void window_start();
};

void TstLiveReading::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("carries");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("low_batt");
    QTest::newRow("12.3mA") << QByteArray::fromHex("007b41") << true << true << 123 << 65 << false;
    QTest::newRow("low battery bit is not count") << QByteArray::fromHex("800a40") << true << true << 10 << 64 << true;
    QTest::newRow("highest count") << QByteArray::fromHex("ffff42") << true << true << 32767 << 66 << true;
    QTest::newRow("10000") << QByteArray::fromHex("271032") << true << true << 10000 << 50 << false;
    QTest::newRow("extra bytes ignored") << QByteArray::fromHex("0fa041ffff") << true << true << 4000 << 65 << false;
    QTest::newRow("range 255 no reading") << QByteArray::fromHex("0001ff") << true << false << 1 << 255 << false;
    QTest::newRow("two bytes") << QByteArray::fromHex("807b") << false << false << 123 << 0 << true;
    QTest::newRow("one byte keeps low battery") << QByteArray::fromHex("80") << false << false << 0 << 0 << true;
    QTest::newRow("empty") << QByteArray() << false << false << 0 << 0 << false;
}

void TstLiveReading::decode() {
    // Catches a count that keeps the low-battery bit, a wrong byte order, or a read past a short frame.
    QFETCH(QByteArray, bytes);
    const LiveFrame f = decode_live_frame(bytes);
    QTEST(f.complete, "complete");
    QTEST(carries_reading(f), "carries");
    QTEST(f.count, "count");
    QTEST(int(f.range), "range");
    QTEST(f.low_batt, "low_batt");
}

void TstLiveReading::text_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("range");
    QTest::addColumn<QString>("text");
    QTest::newRow("48 whole A") << 7 << 48 << "7A";
    QTest::newRow("48 zero") << 0 << 48 << "0A";
    QTest::newRow("49 0.0A") << 0 << 49 << "0.0A";
    QTest::newRow("49 0.5A") << 5 << 49 << "0.5A";
    QTest::newRow("49 15.0A") << 150 << 49 << "15.0A";
    QTest::newRow("49 overload") << 4000 << 49 << "   OL   A";
    QTest::newRow("50 1.23A") << 123 << 50 << "1.23A";
    QTest::newRow("50 1.20A") << 120 << 50 << "1.20A";
    QTest::newRow("50 3.00A") << 300 << 50 << "3.00A";
    QTest::newRow("50 0.05A") << 5 << 50 << "0.05A";
    QTest::newRow("50 O  L") << 10000 << 50 << "O  L";
    QTest::newRow("50 overload") << 4000 << 50 << "   OL   A";
    QTest::newRow("51 0.000") << 0 << 51 << "0.000A";
    QTest::newRow("51 0.25") << 250 << 51 << "0.25A";
    QTest::newRow("51 0.005") << 5 << 51 << "0.005A";
    QTest::newRow("51 1.5") << 1500 << 51 << "1.5A";
    QTest::newRow("51 32.767") << 32767 << 51 << "32.767A";
    QTest::newRow("64 10mA") << 10 << 64 << "10mA";
    QTest::newRow("65 12.3mA") << 123 << 65 << "12.3mA";
    QTest::newRow("65 12.0mA") << 120 << 65 << "12.0mA";
    QTest::newRow("65 overload") << 4000 << 65 << "   OL   mA";
    QTest::newRow("66 0.05mA") << 5 << 66 << "0.05mA";
    QTest::newRow("66 0.50mA") << 50 << 66 << "0.50mA";
    QTest::newRow("66 0.00mA") << 0 << 66 << "0.00mA";
    QTest::newRow("66 no O  L rule") << 10000 << 66 << "100.00mA";
    QTest::newRow("67 no factor") << 1234 << 67 << "";
    QTest::newRow("67 overload shows nothing") << 4000 << 67 << "";
    QTest::newRow("255") << 5 << 255 << "";
    QTest::newRow("unknown 52") << 5 << 52 << "";
    QTest::newRow("zero code") << 5 << 0 << "";
}

void TstLiveReading::text() {
    // Catches a missing or extra decimal, a lost leading zero, a wrong unit, or text for an unknown range.
    QFETCH(int, count);
    QFETCH(int, range);
    QTEST(live_reading_text(count, uint8_t(range)), "text");
}

void TstLiveReading::scaled_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("has");
    QTest::addColumn<qint64>("scaled");
    QTest::newRow("48") << 3 << 48 << true << qint64(300000);
    QTest::newRow("49 40.0A") << 400 << 49 << true << qint64(4000000);
    QTest::newRow("50") << 4000 << 50 << true << qint64(4000000);
    QTest::newRow("51") << 4000 << 51 << true << qint64(400000);
    QTest::newRow("64") << 10 << 64 << true << qint64(1000);
    QTest::newRow("65") << 123 << 65 << true << qint64(1230);
    QTest::newRow("66") << 4000 << 66 << true << qint64(4000);
    QTest::newRow("48 highest count needs 64 bits") << 32767 << 48 << true << qint64(3276700000);
    QTest::newRow("67 bare count stays out") << 5 << 67 << false << qint64(0);
    QTest::newRow("255") << 5 << 255 << false << qint64(0);
    QTest::newRow("unknown") << 5 << 70 << false << qint64(0);
}

void TstLiveReading::scaled() {
    // Catches a wrong range factor, an int overflow in range 48, or a bare count taken as a current.
    QFETCH(int, count);
    QFETCH(int, range);
    QFETCH(bool, has);
    const auto s = live_scaled(count, uint8_t(range));
    QCOMPARE(s.has_value(), has);
    if (has) QTEST(qint64(*s), "scaled");
}

void TstLiveReading::sample_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("has");
    QTest::addColumn<double>("sample");
    QTest::newRow("plain") << 123 << 65 << true << 1230.0;
    QTest::newRow("overload low range") << 4000 << 66 << true << 2370000.0;
    QTest::newRow("overload high range") << 4000 << 48 << true << 2370000.0;
    QTest::newRow("just below ceiling") << 2379 << 50 << true << 2379000.0;
    QTest::newRow("at ceiling") << 2380 << 50 << false << 0.0;
    QTest::newRow("O  L") << 10000 << 50 << false << 0.0;
    QTest::newRow("67") << 5 << 67 << false << 0.0;
    QTest::newRow("67 overload") << 4000 << 67 << false << 0.0;
}

void TstLiveReading::sample() {
    // Catches an overload entered with its scaled value, a reading at 23.8 A entered, or a bare count entered.
    QFETCH(int, count);
    QFETCH(int, range);
    QFETCH(bool, has);
    const auto s = live_sample_value(count, uint8_t(range));
    QCOMPARE(s.has_value(), has);
    if (has) QTEST(*s, "sample");
}

void TstLiveReading::window_shift() {
    // Catches a shift in the wrong direction, an off-by-one at either end, or writes beyond entry 400.
    LiveSamples w{};
    for (int i = 0; i < kLiveSamples; ++i) w[size_t(i)] = i;
    enter_sample(w, -1.0);
    for (int i = 0; i < 400; ++i) QCOMPARE(w[size_t(i)], double(i + 1));
    QCOMPARE(w[400], -1.0);
    for (int i = 401; i < kLiveSamples; ++i) QCOMPARE(w[size_t(i)], double(i));
    enter_sample(w, -2.0);
    QCOMPARE(w[0], 2.0);
    QCOMPARE(w[399], -1.0);
    QCOMPARE(w[400], -2.0);
    QCOMPARE(w[401], 401.0);
}

void TstLiveReading::window_start() {
    // Catches a start window that shows samples that were never entered.
    LiveSamples w;
    w.fill(7.0);
    init_live_samples(w);
    QCOMPARE(w[0], kNoSample);
    QCOMPARE(w[410], kNoSample);
    QCOMPARE(w[411], 0.0);
    QCOMPARE(w[620], 0.0);
}

QTEST_GUILESS_MAIN(TstLiveReading)
#include "tst_live_reading.moc"
