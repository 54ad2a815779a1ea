// Chart interaction: scale steps, drags in both views (scale and record window) and the cursor readout.
#include "chart/chart_geometry.h"
#include "chart/curve_view.h"

#include <QtTest>

using namespace tessaro;

namespace {
// Screen pixels on the chart to the twips the chart surface reports.
QPoint px(int x, int y) { return QPoint(x * kTwipsPerPixel, y * kTwipsPerPixel); }
} // namespace

class TstChartDrag : public QObject {
    Q_OBJECT
private slots:
    void scale_steps_data();
    void scale_steps();
    void drag_data();
    void drag();
    void readout_data();
    void readout();
};

void TstChartDrag::scale_steps_data() {
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("up");
    QTest::addColumn<double>("down");
    QTest::newRow("1") << 1.0 << 5.0 << 1.0;
    QTest::newRow("5") << 5.0 << 19.0 << 1.0;
    QTest::newRow("71") << 71.0 << 243.0 << 19.0;
    QTest::newRow("243") << 243.0 << 857.0 << 71.0;
    QTest::newRow("3000") << 3000.0 << 3000.0 << 857.0;
    QTest::newRow("not a step") << 100.0 << 100.0 << 100.0;
}

void TstChartDrag::scale_steps() {
    // Catches a skipped step, stepping past the ends, or a non-step value snapping onto a step.
    QFETCH(double, scale);
    QFETCH(double, up);
    QFETCH(double, down);
    QCOMPARE(scale_step_up(scale), up);
    QCOMPARE(scale_step_down(scale), down);
}

void TstChartDrag::drag_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("ji_ge");
    QTest::addColumn<double>("new_scale");
    QTest::addColumn<double>("new_from");
    QTest::addColumn<double>("new_to");
    QTest::addColumn<bool>("redraw");
    QTest::addColumn<bool>("stats");

    // Realtime view: 30 pixels either way, always redrawn.
    QTest::newRow("rt up at 3000") << 0 << px(300, 200) << px(300, 160) << 3000.0 << 0.0 << 0.0 << 1 << 3000.0
                                   << 0.0 << 0.0 << true << false;
    QTest::newRow("rt down 40") << 0 << px(300, 160) << px(300, 200) << 3000.0 << 0.0 << 0.0 << 1 << 857.0 << 0.0
                                << 0.0 << true << false;
    QTest::newRow("rt down at 1") << 0 << px(300, 160) << px(300, 200) << 1.0 << 0.0 << 0.0 << 1 << 1.0 << 0.0
                                  << 0.0 << true << false;
    QTest::newRow("rt up 31") << 0 << px(300, 200) << px(300, 169) << 857.0 << 0.0 << 0.0 << 1 << 3000.0 << 0.0
                              << 0.0 << true << false;
    QTest::newRow("rt up 30") << 0 << px(300, 200) << px(300, 170) << 857.0 << 0.0 << 0.0 << 1 << 857.0 << 0.0
                              << 0.0 << true << false;
    QTest::newRow("rt down 30") << 0 << px(300, 170) << px(300, 200) << 857.0 << 0.0 << 0.0 << 1 << 857.0 << 0.0
                                << 0.0 << true << false;
    QTest::newRow("rt right") << 0 << px(100, 200) << px(400, 200) << 71.0 << 0.0 << 101.0 << 101 << 71.0 << 0.0
                              << 101.0 << true << false;

    // Curve view, window 0..101 (100 records).
    QTest::newRow("cv down 25") << 100 << px(300, 160) << px(300, 185) << 3000.0 << 0.0 << 101.0 << 101 << 857.0
                                << 0.0 << 101.0 << true << false;
    QTest::newRow("cv down 20") << 100 << px(300, 160) << px(300, 180) << 3000.0 << 0.0 << 101.0 << 101 << 3000.0
                                << 0.0 << 101.0 << false << false;
    QTest::newRow("cv up 25") << 100 << px(300, 185) << px(300, 160) << 857.0 << 0.0 << 101.0 << 101 << 857.0 << 0.0
                              << 101.0 << false << false;
    QTest::newRow("cv up resets window") << 100 << px(300, 200) << px(300, 160) << 857.0 << 30.0 << 60.0 << 101
                                         << 3000.0 << 0.0 << 101.0 << true << true;
    QTest::newRow("cv up at 3000") << 100 << px(300, 200) << px(300, 160) << 3000.0 << 30.0 << 60.0 << 101
                                   << 3000.0 << 0.0 << 101.0 << true << true;
    QTest::newRow("cv up, no records") << 100 << px(300, 200) << px(300, 160) << 857.0 << 0.0 << 1.0 << 1 << 3000.0
                                       << 0.0 << 1.0 << true << false;
    QTest::newRow("cv right selects") << 100 << px(100, 200) << px(400, 200) << 3000.0 << 0.0 << 101.0 << 101
                                      << 3000.0 << 11.0 << 61.0 << true << true;
    QTest::newRow("cv right past the end") << 100 << px(100, 200) << px(700, 200) << 3000.0 << 0.0 << 101.0 << 101
                                           << 3000.0 << 11.0 << 101.0 << true << true;
    QTest::newRow("cv right past the records") << 100 << px(100, 200) << px(700, 200) << 3000.0 << 0.0 << 101.0
                                               << 60 << 3000.0 << 11.0 << 60.0 << true << true;
    QTest::newRow("cv right from past the records") << 100 << px(400, 200) << px(700, 200) << 3000.0 << 0.0
                                                    << 101.0 << 50 << 3000.0 << 0.0 << 101.0 << false << false;
    QTest::newRow("cv right from the first slot") << 100 << px(36, 200) << px(400, 200) << 3000.0 << 0.0 << 101.0
                                                  << 101 << 3000.0 << 0.0 << 101.0 << false << false;
    QTest::newRow("cv right too few slots") << 100 << px(100, 200) << px(150, 200) << 3000.0 << 0.0 << 101.0 << 101
                                            << 3000.0 << 0.0 << 101.0 << false << false;
    QTest::newRow("cv right 20 px") << 100 << px(100, 200) << px(120, 200) << 3000.0 << 0.0 << 2001.0 << 2001
                                    << 3000.0 << 0.0 << 2001.0 << false << false;
    QTest::newRow("cv right 21 px") << 100 << px(100, 200) << px(121, 200) << 3000.0 << 0.0 << 2001.0 << 2001
                                    << 3000.0 << 213.0 << 283.0 << true << true;
    QTest::newRow("cv zoomed window") << 100 << px(100, 200) << px(400, 200) << 3000.0 << 1000.0 << 2000.0 << 4601
                                      << 3000.0 << 1107.0 << 1607.0 << true << true;
    QTest::newRow("cv diagonal up-right") << 100 << px(100, 300) << px(400, 260) << 857.0 << 30.0 << 60.0 << 101
                                          << 3000.0 << 11.0 << 61.0 << true << true;
}

void TstChartDrag::drag() {
    // Catches wrong thresholds per view, a window past the records (reads beyond slot 8000 later),
    // a window from slot 0 or of 20 slots or fewer, and checks applied in the wrong order.
    QFETCH(int, mode);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(double, scale);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, ji_ge);
    DragInput in;
    in.curve_mode = static_cast<uint8_t>(mode);
    in.press = press;
    in.release = release;
    in.chart_scale = scale;
    in.curve_from = from;
    in.curve_to = to;
    in.ji_ge = ji_ge;
    const DragResult r = chart_drag(in);
    QTEST(r.chart_scale, "new_scale");
    QTEST(r.curve_from, "new_from");
    QTEST(r.curve_to, "new_to");
    QTEST(r.redraw, "redraw");
    QTEST(r.show_stats, "stats");
    QVERIFY(!r.stats_blank);
    QVERIFY(r.curve_to <= std::max(ji_ge, int(to)));
}

void TstChartDrag::readout_data() {
    QTest::addColumn<QPoint>("twips");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("text"); // empty: nothing shown
    QTest::newRow("zero line A") << QPoint(3000, 4780) << true << 3000.0 << "0A";
    QTest::newRow("zero line mA") << QPoint(3000, 4780) << true << 71.0 << "0mA";
    QTest::newRow("top division 3000") << QPoint(3000, 580) << true << 3000.0 << "21A";
    QTest::newRow("top division 243") << QPoint(3000, 580) << true << 243.0 << "1.701A";
    QTest::newRow("top division 71") << QPoint(3000, 580) << true << 71.0 << "497mA";
    QTest::newRow("top division 1") << QPoint(3000, 580) << true << 1.0 << "7mA";
    QTest::newRow("two percent") << QPoint(3000, 4696) << true << 3000.0 << ".42A";
    QTest::newRow("half percent to even, down") << QPoint(3000, 4759) << true << 3000.0 << "0A";
    QTest::newRow("one and a half to even, up") << QPoint(3000, 4717) << true << 3000.0 << ".42A";
    QTest::newRow("below the zero line") << QPoint(3000, 4990) << true << 3000.0 << "-1.05A";
    QTest::newRow("above the top") << QPoint(3000, 100) << true << 1.0 << "7.77mA";
    QTest::newRow("outside") << QPoint(3000, 2000) << false << 3000.0 << "";
    QTest::newRow("left of the surface") << QPoint(-15, 2000) << true << 3000.0 << "";
    QTest::newRow("below the surface") << QPoint(3000, 5415) << true << 3000.0 << "";
}

void TstChartDrag::readout() {
    // Catches a readout off the chart, a zero not on the zero line, wrong unit switch or rounding.
    QFETCH(QPoint, twips);
    QFETCH(bool, inside);
    QFETCH(double, scale);
    QFETCH(QString, text);
    const auto shown = cursor_readout(twips, inside, scale);
    if (text.isEmpty()) QVERIFY(!shown);
    else {
        QVERIFY(shown);
        QCOMPARE(*shown, text);
    }
}

QTEST_GUILESS_MAIN(TstChartDrag)
#include "tst_chart_drag.moc"
