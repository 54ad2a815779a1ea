// Curve view: record currents per range code, the overload cap and the window statistics.
#include "chart/chart_geometry.h"
#include "chart/curve_view.h"
#include "records/record_store.h"

#include <QtTest>

#include <memory>
#include <vector>

using namespace tessaro;

namespace {

void put(RecordStore& store, int slot, int count, char range) {
    const uint8_t frame[8] = {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF),
                              static_cast<uint8_t>(range), 24, 5, 17, 12, 30};
    store.store_record(slot, frame);
}

} // namespace

class TstCurveView : public QObject {
    Q_OBJECT
private slots:
    void record_current_data();
    void record_current();
    void slots_past_the_records_are_zero();
    void all_slots_occupied_stays_inside();
    void stats_data();
    void stats();
    void exact_average_over_many_records();
    void empty_window();
};

void TstCurveView::record_current_data() {
    QTest::addColumn<char>("range");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("value");
    QTest::newRow("0: 1 A") << '0' << 1 << 100000.0;
    QTest::newRow("0: 25 A capped") << '0' << 25 << 2370000.0;
    QTest::newRow("1: 1.5 A") << '1' << 15 << 150000.0;
    QTest::newRow("2: 9.99 A") << '2' << 999 << 999000.0;
    QTest::newRow("3: 999 mA") << '3' << 999 << 99900.0;
    QTest::newRow("@: 5 mA") << '@' << 5 << 500.0;
    QTest::newRow("A: .5 mA") << 'A' << 5 << 50.0;
    QTest::newRow("B: .05 mA") << 'B' << 5 << 5.0;
    QTest::newRow("C: .005 mA") << 'C' << 5 << 0.5;
    QTest::newRow("unknown code") << 'X' << 7 << 7.0;
    QTest::newRow("overload band low") << 'C' << 3701 << 2370000.0;
    QTest::newRow("overload band high") << '@' << 4799 << 2370000.0;
    QTest::newRow("below the band") << 'C' << 3700 << 370.0;
    QTest::newRow("above the band") << 'C' << 4800 << 480.0;
}

void TstCurveView::record_current() {
    // Catches a wrong factor per range code, a missing cap at 23.7 A or an unplotted overload count.
    QFETCH(char, range);
    QFETCH(int, count);
    QFETCH(double, value);
    RecordStore store;
    put(store, 0, count, range);
    store.count_records();
    std::vector<double> curve(kCurveSlots, -1.0);
    build_curve_values(store, store.ji_ge, curve.data());
    QCOMPARE(curve[0], value);
    QCOMPARE(curve[1], 0.0);
}

void TstCurveView::slots_past_the_records_are_zero() {
    // Catches values of an earlier, longer download left in slots past the present records.
    RecordStore store;
    for (int s = 0; s < 4601; ++s) put(store, s, 100, '@');
    store.count_records();
    std::vector<double> curve(kCurveSlots, 0.0);
    build_curve_values(store, store.ji_ge, curve.data());
    QCOMPARE(curve[4600], 10000.0);

    store.clear_records();
    put(store, 0, 1, '@');
    store.count_records();
    build_curve_values(store, store.ji_ge, curve.data());
    QCOMPARE(curve[0], 100.0);
    QCOMPARE(curve[4600], 0.0);
    QCOMPARE(curve[8000], 0.0);
}

void TstCurveView::all_slots_occupied_stays_inside() {
    // Catches a write past slot 8000 when every slot holds a record (ji_ge 8002); ASan sees it.
    RecordStore store;
    for (int s = 0; s < kSlots; ++s) put(store, s, 2, 'B');
    store.count_records();
    QCOMPARE(int(store.ji_ge), 8002);
    const auto curve = std::make_unique<double[]>(kCurveSlots);
    build_curve_values(store, store.ji_ge, curve.get());
    QCOMPARE(curve[8000], 2.0);
}

void TstCurveView::stats_data() {
    QTest::addColumn<QList<double>>("values"); // slots 0..
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<bool>("blank");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("avg");
    QTest::newRow("9.99 mA") << QList<double>{999, 999} << 0.0 << 3.0 << true << "Max: 9.99mA" << "Min: 9.99mA"
                             << "Average: 9.99mA";
    QTest::newRow("1.5 A") << QList<double>{150000, 150000} << 0.0 << 3.0 << true << "Max: 1.5A" << "Min: 1.5A"
                           << "Average: 1.5A";
    QTest::newRow("50 mA") << QList<double>{5000, 5000} << 0.0 << 3.0 << true << "Max: 50mA" << "Min: 50mA"
                           << "Average: 50mA";
    QTest::newRow("amperes cut, not rounded") << QList<double>{159999, 99999} << 0.0 << 3.0 << true << "Max: 1.5A"
                                              << "Min: 999.99mA" << "Average: 1.2A";
    QTest::newRow("OL maximum") << QList<double>{2370000, 0} << 0.0 << 3.0 << true << "Max:  OL" << "Min: 0mA"
                                << "Average: 11.8A";
    QTest::newRow("OL maximum, click") << QList<double>{0, 2370000} << 0.0 << 3.0 << false << "Max:  OL"
                                       << "Min:0mA" << "Average:11.8A";
    QTest::newRow("no blank after a click") << QList<double>{150000, 5000} << 0.0 << 3.0 << false << "Max:1.5A"
                                            << "Min:50mA" << "Average:775mA";
    QTest::newRow("average truncated") << QList<double>{1, 2} << 0.0 << 3.0 << true << "Max: .02mA"
                                       << "Min: .01mA" << "Average: .01mA";
    QTest::newRow("window ends") << QList<double>{0, 2370000, 500, 600, 700, 2370000, 0} << 2.0 << 6.0 << true
                                 << "Max: 7mA" << "Min: 5mA" << "Average: 6mA";
    QTest::newRow("fractional hundredths") << QList<double>{0.5, 0.3} << 0.0 << 3.0 << true << "Max: .005mA"
                                           << "Min: .003mA" << "Average: 0mA";
}

void TstCurveView::stats() {
    // Catches the amperes switch at 10 mA instead of 1000 mA, rounding instead of cutting, wrong
    // window ends, wrong prefixes and a missing OL caption.
    QFETCH(QList<double>, values);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(bool, blank);
    QFETCH(QString, max);
    QFETCH(QString, min);
    QFETCH(QString, avg);
    std::vector<double> curve(kCurveSlots, 0.0);
    for (int i = 0; i < values.size(); ++i) curve[static_cast<size_t>(i)] = values[i];
    const CurveStats st = curve_stats(curve.data(), from, to, blank);
    QCOMPARE(st.max_label, max);
    QCOMPARE(st.min_label, min);
    QCOMPARE(st.avg_label, avg);
}

void TstCurveView::exact_average_over_many_records() {
    // Catches an average of two partial sums (the first stops at 1.8e9) instead of the true mean.
    RecordStore store;
    for (int s = 0; s < 2000; ++s) put(store, s, 100, '1');    // 10 A
    for (int s = 2000; s < 4600; ++s) put(store, s, 100, '3'); // 0.1 A
    store.count_records();
    std::vector<double> curve(kCurveSlots, 0.0);
    build_curve_values(store, store.ji_ge, curve.data());
    const CurveStats st = curve_stats(curve.data(), 0, store.ji_ge, true);
    QCOMPARE(st.max_label, QString("Max: 10A"));
    QCOMPARE(st.min_label, QString("Min: 100mA"));
    QCOMPARE(st.avg_label, QString("Average: 4.4A"));
}

void TstCurveView::empty_window() {
    // Catches a minimum of 237 A (the start value) shown for a window without slots.
    std::vector<double> curve(kCurveSlots, 0.0);
    const CurveStats st = curve_stats(curve.data(), 10, 5, true);
    QCOMPARE(st.min_label, QString("Min: 0mA"));
    QCOMPARE(st.avg_label, QString("Average: 0mA"));
}

QTEST_GUILESS_MAIN(TstCurveView)
#include "tst_curve_view.moc"
