// Alarm threshold: the typed limit read exactly, the classification at the limit, and the lamp's blink.
#include "link/alarm_rules.h"

#include <QTest>

#include <cfloat>
#include <limits>

using namespace tessaro;

class TstAlarmRules : public QObject {
    Q_OBJECT
private slots:
    void limit_at_and_below_data();
    void limit_at_and_below();
    void entry_data();
    void entry();
    void lamp_data();
    void lamp();
};

void TstAlarmRules::limit_at_and_below_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("limit");
    QTest::newRow("10 mA") << "10" << 64 << qint64(1000);
    QTest::newRow("12.3 mA") << "12.3" << 64 << qint64(1230);
    QTest::newRow("1.1 mA") << "1.1" << 64 << qint64(110);
    QTest::newRow("0.29 mA") << "0.29" << 64 << qint64(29);
    QTest::newRow("0.1 A") << "0.1" << 48 << qint64(10000);
    QTest::newRow("0.5 A") << "0.5" << 48 << qint64(50000);
    QTest::newRow("1.23e1 mA") << " 1.23e1 " << 64 << qint64(1230);
    QTest::newRow("+.5 A") << "+.5" << 48 << qint64(50000);
    QTest::newRow("0.005 mA rounds up") << "0.005" << 64 << qint64(1);
    QTest::newRow("12.301 mA rounds up") << "12.301" << 64 << qint64(1231);
    QTest::newRow("0.000001 A rounds up") << "0.000001" << 48 << qint64(1);
    QTest::newRow("tiny exponent") << "1e-50" << 64 << qint64(1);
    QTest::newRow("zero") << "0" << 64 << qint64(0);
    QTest::newRow("-0.005 mA") << "-0.005" << 64 << qint64(0);
    QTest::newRow("-1.5 mA") << "-1.5" << 64 << qint64(-150);
    QTest::newRow("23.7 A") << "23.7" << 48 << qint64(2370000);
}

void TstAlarmRules::limit_at_and_below() {
    // Catches a limit taken through a float (12.3 mA left green at 12.30 mA), a limit rounded down
    // (a reading under the typed limit turning red), or a wrong unit factor.
    QFETCH(QString, text);
    QFETCH(int, unit);
    QFETCH(qint64, limit);
    const LockResult r = parse_alarm_entry(text, uint8_t(unit), 0.0f);
    QCOMPARE(r.kind, LockResult::Locked);
    QVERIFY(!r.limit_kept);
    QCOMPARE(r.limit_hundredths.value(), limit);
    QVERIFY(alarm_hit(limit, *r.limit_hundredths));
    QVERIFY(!alarm_hit(limit - 1, *r.limit_hundredths));
    QVERIFY(alarm_hit(limit + 1, *r.limit_hundredths));
}

void TstAlarmRules::entry_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unit");
    QTest::addColumn<float>("previous");
    QTest::addColumn<int>("kind");
    QTest::addColumn<float>("alarm_limit");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<bool>("has_limit");
    QTest::addColumn<qint64>("limit");
    const int nan = LockResult::NotANumber, empty = LockResult::Empty, locked = LockResult::Locked;
    const qint64 high = std::numeric_limits<qint64>::max();
    const qint64 low = std::numeric_limits<qint64>::min();
    QTest::newRow("10 mA") << "10" << 64 << 3.0f << locked << 10.0f << false << true << qint64(1000);
    QTest::newRow("12.3 mA float kept as typed") << "12.3" << 64 << 0.0f << locked << 12.3f << false << true << qint64(1230);
    QTest::newRow("no unit locks without limit") << "12.3" << 0 << 0.0f << locked << 12.3f << false << false << qint64(0);
    QTest::newRow("abc") << "abc" << 64 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("blanks") << "   " << 64 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("nan") << "nan" << 64 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("inf") << "inf" << 48 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("hex") << "0x10" << 64 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("comma") << "1,5" << 64 << 7.0f << nan << 0.0f << false << false << qint64(0);
    QTest::newRow("empty keeps limit") << "" << 64 << 7.0f << empty << 7.0f << false << false << qint64(0);
    QTest::newRow("1e39 keeps previous") << "1e39" << 64 << 12.3f << locked << 12.3f << true << true << qint64(1230);
    QTest::newRow("1e39 previous in new unit") << "1e39" << 48 << 0.5f << locked << 0.5f << true << true << qint64(50000);
    QTest::newRow("-1e39 keeps previous") << "-1e39" << 64 << 2.0f << locked << 2.0f << true << true << qint64(200);
    QTest::newRow("beyond double keeps previous") << "1e999" << 64 << 1.1f << locked << 1.1f << true << true << qint64(110);
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << 64 << 1.0f << locked << 1.0f << true << true << qint64(100);
    QTest::newRow("float max fits") << "3e38" << 48 << 0.0f << locked << 3e38f << false << true << high;
    QTest::newRow("large negative") << "-3e38" << 64 << 0.0f << locked << -3e38f << false << true << low;
    QTest::newRow("19 digits held") << "9999999999999999999" << 64 << 0.0f << locked << 1e19f << false << true << high;
}

void TstAlarmRules::entry() {
    // Catches "nan"/"inf"/blanks taken as numbers, an empty entry treated as an error, a float
    // overflow that replaces or zeroes the limit, or an int64 overflow on a huge entry.
    QFETCH(QString, text);
    QFETCH(int, unit);
    QFETCH(float, previous);
    QFETCH(bool, has_limit);
    const LockResult r = parse_alarm_entry(text, uint8_t(unit), previous);
    QTEST(int(r.kind), "kind");
    QTEST(r.alarm_limit, "alarm_limit");
    QTEST(r.limit_kept, "kept");
    QCOMPARE(r.limit_hundredths.has_value(), has_limit);
    if (has_limit) QTEST(qint64(*r.limit_hundredths), "limit");
}

void TstAlarmRules::lamp_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QList<int>>("hits");   // alarm_hit at each tick
    QTest::addColumn<int>("phase");         // lamp_phase before the first tick
    QTest::addColumn<QString>("colours");   // G green, R red, D dark, one per tick
    QTest::addColumn<int>("phase_after");
    QTest::newRow("closed steady green") << false << QList<int>{0, 100, 100, 0} << 1 << "GGGG" << 1;
    QTest::newRow("closed keeps phase 0") << false << QList<int>{100} << 0 << "G" << 0;
    QTest::newRow("open no alarm blinks green") << true << QList<int>{0, 0, 0, 0} << 0 << "DGDG" << 0;
    QTest::newRow("open alarm blinks red") << true << QList<int>{100, 100, 100, 100} << 0 << "DRDR" << 0;
    QTest::newRow("lit colour follows latest") << true << QList<int>{100, 100, 0, 0, 100, 100} << 1 << "RDGDRD" << 1;
}

void TstAlarmRules::lamp() {
    // Catches a closed port that blinks or moves the phase, a blink that misses its dark half,
    // or a lit colour that ignores the latest classification.
    QFETCH(bool, open);
    QFETCH(QList<int>, hits);
    QFETCH(int, phase);
    auto lamp_phase = uint8_t(phase);
    QString seen;
    for (int hit : hits) {
        switch (lamp_tick(open, uint8_t(hit), lamp_phase)) {
        case LampColour::Green: seen += QLatin1Char('G'); break;
        case LampColour::Red: seen += QLatin1Char('R'); break;
        case LampColour::Dark: seen += QLatin1Char('D'); break;
        }
    }
    QTEST(seen, "colours");
    QTEST(int(lamp_phase), "phase_after");
}

QTEST_GUILESS_MAIN(TstAlarmRules)
#include "tst_alarm_rules.moc"
