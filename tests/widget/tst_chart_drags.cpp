// Drags on the main window's chart: scale steps in both views, window selection in the curve view,
// and the wiring from real mouse events to the handlers.
#include "app/form1.h"
#include "chart/chart_widget.h"
#include "curve_records.h"
#include "records/number_text.h"
#include "support/form_fixture.h"

#include <QLabel>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::put_record;

namespace {

const QString kKept = QStringLiteral("kept");

// A press at pixel a and a click at pixel b of the chart surface, as the widget reports them (twips).
void drag(Form1& w, QPoint a, QPoint b) {
    w.Picture1_MouseDown(a * 15);
    w.Picture1_Click(b * 15);
}

// n records of 0.01 .. n x 0.01 mA in slots 0 .. n - 1, then the curve view over all of them.
void curve_view_with(Form1& w, int n) {
    for (int s = 0; s < n; ++s)
        put_record(w, s, 'B', s + 1);
    w.Command15_Click();
    w.Label1->setText(kKept);
    w.Label2->setText(kKept);
    w.Label5->setText(kKept);
}

} // namespace

class TstChartDrags : public QObject {
    Q_OBJECT
  private slots:
    void press_stored_in_pixels();
    void scale_steps_data();
    void scale_steps();
    void realtime_click_redraws();
    void upward_drag_resets_window();
    void window_selection_data();
    void window_selection();
    void full_store_drag_stays_in_slots();
    void real_mouse_events();
};

void TstChartDrags::press_stored_in_pixels() {
    // Catches the press kept in twips (every threshold would then be 15 times too small).
    FormFixture f;
    Form1& w = *f.form;
    w.Picture1_MouseDown(QPoint(4500, 3000));
    QCOMPARE(int(w.press_x), 300);
    QCOMPARE(int(w.press_y), 200);
}

void TstChartDrags::scale_steps_data() {
    QTest::addColumn<bool>("curve");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("down"); // pixels the cursor moved down (negative: up)
    QTest::addColumn<double>("expected");
    QTest::newRow("realtime 3000 up stays") << false << 3000.0 << -40 << 3000.0;
    QTest::newRow("realtime 3000 down") << false << 3000.0 << 40 << 857.0;
    QTest::newRow("realtime 1 down stays") << false << 1.0 << 40 << 1.0;
    QTest::newRow("realtime 1 up") << false << 1.0 << -31 << 5.0;
    QTest::newRow("realtime up 30 too short") << false << 71.0 << -30 << 71.0;
    QTest::newRow("realtime down 30 too short") << false << 71.0 << 30 << 71.0;
    QTest::newRow("realtime 243 down 31") << false << 243.0 << 31 << 71.0;
    QTest::newRow("curve 3000 down 25") << true << 3000.0 << 25 << 857.0;
    QTest::newRow("curve down 20 too short") << true << 857.0 << 20 << 857.0;
    QTest::newRow("curve up 25 too short") << true << 857.0 << -25 << 857.0;
    QTest::newRow("curve 857 up 31") << true << 857.0 << -31 << 3000.0;
    QTest::newRow("curve 3000 up stays") << true << 3000.0 << -40 << 3000.0;
    QTest::newRow("curve 1 down stays") << true << 1.0 << 21 << 1.0;
    QTest::newRow("curve 5 down 21") << true << 5.0 << 21 << 1.0;
}

void TstChartDrags::scale_steps() {
    // Catches a wrong threshold in either view, a step past the ends, or a step in the wrong direction.
    FormFixture f;
    Form1& w = *f.form;
    QFETCH(bool, curve);
    QFETCH(double, scale);
    QFETCH(int, down);
    if (curve) curve_view_with(w, 0);
    w.chart_scale = scale;
    drag(w, QPoint(300, 200), QPoint(300, 200 + down));
    QTEST(w.chart_scale, "expected");
}

void TstChartDrags::realtime_click_redraws() {
    // Catches a realtime click that leaves the old picture when the scale did not change.
    FormFixture f;
    Form1& w = *f.form;
    w.chart_scale = 71;
    w.Picture1->setImage(QImage());
    drag(w, QPoint(300, 200), QPoint(305, 202));
    QCOMPARE(w.chart_scale, 71.0);
    QVERIFY(!w.Picture1->image().isNull());
}

void TstChartDrags::upward_drag_resets_window() {
    // Catches an upward drag that keeps the zoomed window, uses a stale record count or shows the
    // statistics with blanks.
    FormFixture f;
    Form1& w = *f.form;
    curve_view_with(w, 100);
    w.curve_from = 40;
    w.curve_to = 60;
    w.chart_scale = 243;
    drag(w, QPoint(300, 200), QPoint(300, 160));
    QCOMPARE(w.chart_scale, 857.0);
    QCOMPARE(w.curve_from, 0.0);
    QCOMPARE(w.curve_to, 101.0);
    QCOMPARE(w.Label1->text(), QStringLiteral("Max:1mA"));
    QCOMPARE(w.Label2->text(), QStringLiteral("Min:.01mA"));
    QCOMPARE(w.Label5->text(), QStringLiteral("Average:.5mA")); // 5050 \ 100

    // The reset window counts the records anew.
    for (int s = 100; s < 110; ++s)
        put_record(w, s, 'B', 1);
    drag(w, QPoint(300, 200), QPoint(300, 160));
    QCOMPARE(w.curve_to, 111.0);
}

void TstChartDrags::window_selection_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("press_px");
    QTest::addColumn<int>("release_px");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<QString>("max"); // empty: labels unchanged
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("avg");
    // 900 records, window 0 .. 901: slot(x) = nearest((15 px - 540) / 9000 x 901).
    // Slots 150 .. 599 hold 1.51 .. 6 mA.
    QTest::newRow("select") << 900 << 136 << 436 << 150.0 << 601.0 << "Max:6mA"
                            << "Min:1.51mA"
                            << "Average:3.75mA";
    // The end slot 997 lies past the last record: the window ends at ji_ge.
    QTest::newRow("past the end clamped") << 900 << 436 << 700 << 601.0 << 901.0 << "Max:9mA"
                                          << "Min:6.02mA"
                                          << "Average:7.51mA";
    QTest::newRow("starts past the records") << 900 << 700 << 720 << 0.0 << 901.0 << ""
                                             << ""
                                             << "";
    QTest::newRow("starts at slot 0") << 900 << 36 << 400 << 0.0 << 901.0 << ""
                                      << ""
                                      << "";
    QTest::newRow("right 20 px too short") << 900 << 300 << 320 << 0.0 << 901.0 << ""
                                           << ""
                                           << "";
    // 300 records: 21 pixels span only 10.5 slots.
    QTest::newRow("20 slots or fewer") << 300 << 300 << 321 << 0.0 << 301.0 << ""
                                       << ""
                                       << "";
    // Two records: no start slot can leave three records after it.
    QTest::newRow("too few records") << 2 << 300 << 700 << 0.0 << 3.0 << ""
                                     << ""
                                     << "";
}

void TstChartDrags::window_selection() {
    // Catches a wrong slot rule, a window past the last record, or a drag that should be ignored acted on.
    FormFixture f;
    Form1& w = *f.form;
    QFETCH(int, records);
    QFETCH(int, press_px);
    QFETCH(int, release_px);
    QFETCH(QString, max);
    curve_view_with(w, records);
    drag(w, QPoint(press_px, 200), QPoint(release_px, 200));
    QTEST(w.curve_from, "from");
    QTEST(w.curve_to, "to");
    QCOMPARE(w.chart_scale, 3000.0);
    if (max.isEmpty()) {
        QCOMPARE(w.Label1->text(), kKept);
        QCOMPARE(w.Label5->text(), kKept);
    } else {
        QCOMPARE(w.Label1->text(), max);
        QTEST(w.Label2->text(), "min");
        QTEST(w.Label5->text(), "avg");
    }
}

void TstChartDrags::full_store_drag_stays_in_slots() {
    // Catches a window end past slot 8000 with a full store (the plot would read beyond the values).
    FormFixture f;
    Form1& w = *f.form;
    curve_view_with(w, 8001);
    QCOMPARE(int(w.ji_ge), 8002);
    drag(w, QPoint(300, 200), QPoint(720, 200));
    QCOMPARE(w.curve_from, double(nearest((15 * 300 - 540) / 9000.0 * 8002)));
    QCOMPARE(w.curve_to, 8002.0);
    // Counts 3701 .. 4799 lie in the overload band and stand for OL.
    QCOMPARE(w.Label1->text(), QStringLiteral("Max:  OL"));
}

void TstChartDrags::real_mouse_events() {
    // Catches the chart's press and release not reaching the handlers, or a drag read in the wrong unit.
    FormFixture f;
    Form1& w = *f.form;
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    curve_view_with(w, 900);
    w.chart_scale = 243;
    QTest::mousePress(w.Picture1, Qt::LeftButton, Qt::NoModifier, QPoint(136, 200));
    QTest::mouseMove(w.Picture1, QPoint(300, 220));
    QTest::mouseRelease(w.Picture1, Qt::LeftButton, Qt::NoModifier, QPoint(436, 230));
    QCOMPARE(int(w.press_x), 136);
    QCOMPARE(int(w.press_y), 200);
    // Down 30 pixels and right 300: one step down and the window 150 .. 601.
    QCOMPARE(w.chart_scale, 71.0);
    QCOMPARE(w.curve_from, 150.0);
    QCOMPARE(w.curve_to, 601.0);
    QCOMPARE(w.Label1->text(), QStringLiteral("Max:6mA"));
}

QTEST_MAIN(TstChartDrags)
#include "tst_chart_drags.moc"
