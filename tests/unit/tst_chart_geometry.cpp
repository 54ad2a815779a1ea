// Chart geometry: scale labels, captions, live curve gaps, the record-window curve and pixel rounding.
#include "chart/chart_geometry.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

using namespace tessaro;

namespace {

std::vector<double> no_samples() { return std::vector<double>(621, 4200000); }

const ChartText* text_at(const ChartGeometry& g, QPointF at) {
    for (const ChartText& t : g.texts)
        if (t.twips == at) return &t;
    return nullptr;
}

} // namespace

class TstChartGeometry : public QObject {
    Q_OBJECT
private slots:
    void scale_labels_data();
    void scale_labels();
    void captions_data();
    void captions();
    void live_curve_gaps_data();
    void live_curve_gaps();
    void live_curve_positions();
    void window_curve();
    void window_curve_too_short_data();
    void window_curve_too_short();
    void window_curve_stays_inside_slots_data();
    void window_curve_stays_inside_slots();
    void twips_to_pixels_data();
    void twips_to_pixels();
    void clipping();
};

void TstChartGeometry::scale_labels_data() {
    QTest::addColumn<double>("scale");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("1") << 1.0 << QStringList{" 1", " 2", " 3", " 4", " 5", " 6", " 7"};
    QTest::newRow("5") << 5.0 << QStringList{" 5", " 10", " 15", " 20", " 25", " 30", " 35"};
    QTest::newRow("19") << 19.0 << QStringList{" 19", " 38", " 57", " 76", " 95", " 114", " 133"};
    QTest::newRow("71") << 71.0 << QStringList{" 71", " 142", " 213", " 284", " 355", " 426", " 497"};
    QTest::newRow("243") << 243.0 << QStringList{" .2", " .5", " .7", " 1", " 1.2", " 1.5", " 1.7"};
    QTest::newRow("857") << 857.0 << QStringList{" .9", " 1.7", " 2.6", " 3.4", " 4.3", " 5.1", " 6"};
    QTest::newRow("3000") << 3000.0 << QStringList{" 3", " 6", " 9", " 12", " 15", " 18", " 21"};
}

void TstChartGeometry::scale_labels() {
    // Catches wrong label values or rounding per scale step, a missing leading blank, a "0." prefix
    // or labels placed at the wrong division.
    QFETCH(double, scale);
    QFETCH(QStringList, labels);
    const auto samples = no_samples();
    const ChartGeometry g = chart_geometry({kRealtimeMode, scale, samples.data(), nullptr, 0, 0});
    for (int k = 1; k <= 7; ++k) {
        const ChartText* t = text_at(g, QPointF(0, 4780 - 600 * k - 60));
        QVERIFY2(t, qPrintable(QString("no label for division %1").arg(k)));
        QCOMPARE(QString::fromStdString(t->text), labels[k - 1]);
    }
    const ChartText* zero = text_at(g, QPointF(50, 4740));
    QVERIFY(zero);
    QCOMPARE(zero->text, std::string("0"));
}

void TstChartGeometry::captions_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("vertical");
    QTest::addColumn<QString>("horizontal"); // empty: no caption
    QTest::newRow("realtime 3000") << 0 << 3000.0 << "I(Current:A)" << "   t(0.5S)";
    QTest::newRow("realtime 243") << 0 << 243.0 << "I(Current:A)" << "   t(0.5S)";
    QTest::newRow("realtime 71") << 0 << 71.0 << "I(Current:mA)" << "   t(0.5S)";
    QTest::newRow("curve 1") << 100 << 1.0 << "I(Current:mA)" << "   y(No:)";
    QTest::newRow("curve 857") << 100 << 857.0 << "I(Current:A)" << "   y(No:)";
    QTest::newRow("other mode") << 7 << 3000.0 << "I(Current:A)" << "";
}

void TstChartGeometry::captions() {
    // Catches a wrong unit switch (7 x scale > 999), a caption for an unknown mode or lost blanks.
    QFETCH(int, mode);
    QFETCH(double, scale);
    QFETCH(QString, vertical);
    QFETCH(QString, horizontal);
    const auto samples = no_samples();
    std::vector<double> values(kCurveSlots, 0.0);
    const ChartGeometry g =
        chart_geometry({static_cast<uint8_t>(mode), scale, samples.data(), values.data(), 0, 0});
    const ChartText* v = text_at(g, QPointF(100, 0));
    QVERIFY(v);
    QCOMPARE(QString::fromStdString(v->text), vertical);
    const ChartText* h = text_at(g, QPointF(9600, 4990));
    if (horizontal.isEmpty()) QVERIFY(!h);
    else {
        QVERIFY(h);
        QCOMPARE(QString::fromStdString(h->text), horizontal);
    }
}

void TstChartGeometry::live_curve_gaps_data() {
    QTest::addColumn<QList<int>>("valid"); // entries holding a reading
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("segments");
    QTest::newRow("no readings") << QList<int>{} << 0.0 << 0;
    QTest::newRow("single reading") << QList<int>{200} << 1000.0 << 0;
    QTest::newRow("two adjacent") << QList<int>{200, 201} << 1000.0 << 1;
    QTest::newRow("two apart") << QList<int>{200, 202} << 1000.0 << 0;
    QTest::newRow("first pair") << QList<int>{0, 1} << 0.0 << 1;
    QTest::newRow("last pair") << QList<int>{399, 400} << 0.0 << 1;
    QTest::newRow("OL is a point") << QList<int>{10, 11, 12} << 2370000.0 << 2;
    QTest::newRow("just below no-sample") << QList<int>{5, 6} << 4099999.0 << 1;
    QTest::newRow("no-sample threshold") << QList<int>{5, 6} << 4100000.0 << 0;
}

void TstChartGeometry::live_curve_gaps() {
    // Catches segments drawn to or from an entry without a reading, or a lost segment between readings.
    QFETCH(QList<int>, valid);
    QFETCH(double, value);
    QFETCH(int, segments);
    auto samples = no_samples();
    for (int j : valid) samples[static_cast<size_t>(j)] = value;
    const ChartGeometry g = chart_geometry({kRealtimeMode, 3000, samples.data(), nullptr, 0, 0});
    QCOMPARE(int(g.curve.size()), segments);
    QCOMPARE(g.curve_colour, QColor(0, 192, 0));
}

void TstChartGeometry::live_curve_positions() {
    // Catches an off-by-one in the sample x positions or a wrong value-to-height mapping.
    auto samples = no_samples();
    samples[0] = 0;
    samples[1] = 700 * 3000; // full scale
    samples[399] = 0;
    samples[400] = 2370000;
    const ChartGeometry g = chart_geometry({kRealtimeMode, 3000, samples.data(), nullptr, 0, 0});
    QCOMPARE(int(g.curve.size()), 2);
    QCOMPARE(g.curve[0], QLineF(552.5, 4780, 575, 600));
    QCOMPARE(g.curve[1].x2(), 9552.5);
    QCOMPARE(g.curve[1].y1(), 4780.0);
    QVERIFY(qAbs(g.curve[1].y2() - (4780 - 2370000.0 / 2100000 * 4180)) < 1e-9);
    QVERIFY(g.curve[1].y2() > 62 && g.curve[1].y2() < 64);
}

void TstChartGeometry::window_curve() {
    // Catches a wrong step or start of the record curve: two records span the whole 9000 twips.
    std::vector<double> values(kCurveSlots, 0.0);
    values[0] = 0;
    values[1] = 210000;
    values[2] = 999999; // outside the window
    const ChartGeometry g = chart_geometry({kCurveMode, 3000, nullptr, values.data(), 0, 3});
    QCOMPARE(int(g.curve.size()), 1);
    QCOMPARE(g.curve[0], QLineF(540, 4780, 5040, 4780 - 418));
    QCOMPARE(g.curve_colour, QColor(0, 255, 0));

    const ChartGeometry w = chart_geometry({kCurveMode, 3000, nullptr, values.data(), 10, 31});
    QCOMPARE(int(w.curve.size()), 19); // slots 10..29
    QCOMPARE(w.curve.front().x1(), 540.0);
    QCOMPARE(w.curve.back().x2(), 540 + 19 * 9000.0 / 20);
}

void TstChartGeometry::window_curve_too_short_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("no records") << 0.0 << 1.0;
    QTest::newRow("one record") << 0.0 << 2.0;
    QTest::newRow("empty store") << 0.0 << 0.0;
    QTest::newRow("reversed") << 50.0 << 10.0;
}

void TstChartGeometry::window_curve_too_short() {
    // Catches a curve (or a division by zero) for a window of fewer than two records.
    QFETCH(double, from);
    QFETCH(double, to);
    std::vector<double> values(kCurveSlots, 1000.0);
    const ChartGeometry g = chart_geometry({kCurveMode, 3000, nullptr, values.data(), from, to});
    QVERIFY(g.curve.empty());
}

void TstChartGeometry::window_curve_stays_inside_slots_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("segments");
    QTest::newRow("all 8001 slots") << 0.0 << 8002.0 << 8000;
    QTest::newRow("past the last slot") << 7000.0 << 8100.0 << 1000;
    QTest::newRow("before the first slot") << -5.0 << 10.0 << 8;
}

void TstChartGeometry::window_curve_stays_inside_slots() {
    // Catches reads outside curve_value's 8001 slots (ASan reports them on this exact-size buffer).
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, segments);
    const auto values = std::make_unique<double[]>(kCurveSlots);
    std::fill(values.get(), values.get() + kCurveSlots, 500.0);
    const ChartGeometry g = chart_geometry({kCurveMode, 3000, nullptr, values.get(), from, to});
    QCOMPARE(int(g.curve.size()), segments);
}

void TstChartGeometry::twips_to_pixels_data() {
    QTest::addColumn<double>("twips");
    QTest::addColumn<int>("px");
    QTest::newRow("4180 rounds up") << 4180.0 << 279;
    QTest::newRow("whole") << 4800.0 << 320;
    QTest::newRow("half twip") << 552.5 << 37;
    QTest::newRow("half pixel to even, down") << 7.5 << 0;
    QTest::newRow("half pixel to even, up") << 22.5 << 2;
    QTest::newRow("negative") << -20.0 << -1;
    QTest::newRow("far off") << -1.0e12 << -1000000000;
}

void TstChartGeometry::twips_to_pixels() {
    // Catches truncation instead of rounding (4180 twips on row 278) or rounding halves away from zero.
    QFETCH(double, twips);
    QFETCH(int, px);
    QCOMPARE(twips_to_px(twips), px);
}

void TstChartGeometry::clipping() {
    // Catches clamping instead of clipping (a changed slope or a segment along the edge) and NaN ends.
    const QRectF r(0, 0, 100, 100);
    const auto cut = clip_line(QLineF(50, 50, 50 + 1000, 50 - 2000), r);
    QVERIFY(cut);
    QCOMPARE(cut->p1(), QPointF(50, 50));
    QCOMPARE(cut->p2(), QPointF(75, 0));
    QVERIFY(!clip_line(QLineF(10, -50, 90, -3000), r));
    QVERIFY(!clip_line(QLineF(10, qQNaN(), 20, 20), r));
    QCOMPARE(*clip_line(QLineF(10, 20, 30, 40), r), QLineF(10, 20, 30, 40));
}

QTEST_GUILESS_MAIN(TstChartGeometry)
#include "tst_chart_geometry.moc"
