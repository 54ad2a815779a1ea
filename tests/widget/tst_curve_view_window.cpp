// The curve view command on the main window: layout, flags, the plotted window, its statistics and
// the cursor readout in Text29.
#include "app/form1.h"
#include "chart/chart_widget.h"
#include "curve_records.h"
#include "support/form_fixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace tessaro;
using tessaro::test::FormFixture;
using tessaro::test::green_in_column;
using tessaro::test::put_record;

namespace {

const QString kKept = QStringLiteral("kept");

void mark_labels(Form1& w) {
    w.Label1->setText(kKept);
    w.Label2->setText(kKept);
    w.Label5->setText(kKept);
}

// Moves the cursor to pixel p of the chart surface, as the platform reports it.
void move_cursor(ChartWidget* chart, QPoint p) {
    QMouseEvent move(QEvent::MouseMove, QPointF(p), chart->mapToGlobal(QPointF(p)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
}

void leave_chart(ChartWidget* chart) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(chart, &leave);
}

} // namespace

class TstCurveViewWindow : public QObject {
    Q_OBJECT
  private slots:
    void layout_and_flags();
    void ignored_during_sort();
    void small_record_counts_data();
    void small_record_counts();
    void two_records_one_segment();
    void statistics_table_data();
    void statistics_table();
    void exact_average_over_4600_records();
    void curve_value_rebuilt();
    void readout_data();
    void readout();
    void readout_off_chart_empties();
    void readout_leaves_realtime_reading();
    void readout_on_link_tick();
};

void TstCurveViewWindow::layout_and_flags() {
    // Catches a control left in the history or alarm layout, a wrong font, flag or scale after the command.
    FormFixture f;
    Form1& w = *f.form;
    w.Command9_Click(); // the curve command is reached from the history view
    w.chart_scale = 71;
    w.dl_unfinished = true;
    w.Text41->setText(QStringLiteral("status"));
    w.Command15_Click();

    QCOMPARE(int(w.curve_mode), 100);
    QCOMPARE(w.chart_scale, 3000.0);
    QCOMPARE(int(w.link_state), 2);
    QCOMPARE(int(w.dl_session), 3);
    QVERIFY(!w.dl_unfinished);
    QCOMPARE(w.Text29->font().pointSizeF(), 100.0);

    for (QWidget* c : std::initializer_list<QWidget*>{w.Text29, w.Text41, w.Picture1, w.Frame7})
        QVERIFY2(c->isVisible(), qPrintable(c->objectName()));
    QVERIFY(w.Text41->text().isEmpty());
    for (QWidget* c : std::initializer_list<QWidget*>{w.Text37, w.Text36, w.Text35, w.Option3, w.Option4,
                                                      w.Frame6, w.Command6, w.Command4, w.Command3, w.Text1,
                                                      w.Text26, w.Command12, w.Command13, w.Command7})
        QVERIFY2(!c->isVisible(), qPrintable(c->objectName()));
    for (QWidget* c : std::initializer_list<QWidget*>{w.Command15, w.Command1})
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
    for (QWidget* c : std::initializer_list<QWidget*>{w.Command5, w.Command2, w.Command16})
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
}

void TstCurveViewWindow::ignored_during_sort() {
    // Catches the curve command switching views while a sort's event pump is running.
    FormFixture f;
    Form1& w = *f.form;
    w.Command9_Click();
    put_record(w, 0, 'B', 10);
    put_record(w, 1, 'B', 20);
    w.chart_scale = 71;
    w.sorting = true;
    w.Command15_Click();
    QCOMPARE(int(w.curve_mode), 0);
    QCOMPARE(w.chart_scale, 71.0);
    QVERIFY(w.Text1->isVisible());
    QCOMPARE(w.curve_value[0], 0.0);
}

void TstCurveViewWindow::small_record_counts_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("stats");
    QTest::newRow("none") << 0 << false;
    QTest::newRow("one") << 1 << false;
    QTest::newRow("two") << 2 << true;
}

void TstCurveViewWindow::small_record_counts() {
    // Catches statistics shown for fewer than two records, or a window that is not all records.
    FormFixture f;
    Form1& w = *f.form;
    QFETCH(int, records);
    QFETCH(bool, stats);
    for (int s = 0; s < records; ++s)
        put_record(w, s, 'B', 100 * (s + 1));
    mark_labels(w);
    w.Command15_Click();
    QCOMPARE(int(w.ji_ge), records + 1);
    QCOMPARE(w.curve_from, 0.0);
    QCOMPARE(w.curve_to, double(records + 1));
    if (stats) {
        QCOMPARE(w.Label1->text(), QStringLiteral("Max: 2mA"));
        QCOMPARE(w.Label2->text(), QStringLiteral("Min: 1mA"));
        QCOMPARE(w.Label5->text(), QStringLiteral("Average: 1.5mA"));
    } else {
        QCOMPARE(w.Label1->text(), kKept);
        QCOMPARE(w.Label2->text(), kKept);
        QCOMPARE(w.Label5->text(), kKept);
        // The chart is drawn, without a curve.
        const QImage& img = w.Picture1->image();
        QVERIFY(!img.isNull());
        for (int x = 0; x < img.width(); x += 7)
            QCOMPARE(green_in_column(img, x), 0);
    }
}

void TstCurveViewWindow::two_records_one_segment() {
    // Catches a curve drawn over the wrong x span or a missing redraw after the command.
    FormFixture f;
    Form1& w = *f.form;
    put_record(w, 0, '1', 150); // 15 A
    put_record(w, 1, '1', 150);
    w.Command15_Click();
    const QImage& img = w.Picture1->image();
    QVERIFY(!img.isNull());
    // 540 .. 5040 twips are pixels 36 .. 336.
    QVERIFY(green_in_column(img, 40) > 0);
    QVERIFY(green_in_column(img, 186) > 0);
    QVERIFY(green_in_column(img, 332) > 0);
    QCOMPARE(green_in_column(img, 30), 0);
    QCOMPARE(green_in_column(img, 345), 0);
    QCOMPARE(green_in_column(img, 600), 0);
}

void TstCurveViewWindow::statistics_table_data() {
    QTest::addColumn<char>("range1");
    QTest::addColumn<int>("count1");
    QTest::addColumn<char>("range2");
    QTest::addColumn<int>("count2");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("avg");
    QTest::newRow("9.99 mA") << 'B' << 999 << 'B' << 1 << "Max: 9.99mA"
                             << "Min: .01mA"
                             << "Average: 5mA";
    QTest::newRow("1.5 A") << '1' << 15 << '@' << 50 << "Max: 1.5A"
                           << "Min: 50mA"
                           << "Average: 775mA";
    QTest::newRow("50 mA") << 'A' << 500 << 'A' << 500 << "Max: 50mA"
                           << "Min: 50mA"
                           << "Average: 50mA";
    QTest::newRow("999 mA") << '@' << 999 << '@' << 999 << "Max: 999mA"
                            << "Min: 999mA"
                            << "Average: 999mA";
    QTest::newRow("1 A") << '2' << 100 << '2' << 100 << "Max: 1A"
                         << "Min: 1A"
                         << "Average: 1A";
    QTest::newRow("amperes cut off") << '3' << 1999 << '3' << 1999 << "Max: 1.9A"
                                     << "Min: 1.9A"
                                     << "Average: 1.9A";
    QTest::newRow("range 3") << '3' << 1500 << 'B' << 1 << "Max: 1.5A"
                             << "Min: .01mA"
                             << "Average: 750mA";
    QTest::newRow("range C") << 'C' << 5000 << 'C' << 1230 << "Max: 5mA"
                             << "Min: 1.23mA"
                             << "Average: 3.11mA";
    QTest::newRow("25 A is OL") << '0' << 25 << 'B' << 1 << "Max:  OL"
                                << "Min: .01mA"
                                << "Average: 11.8A";
    QTest::newRow("overload band") << 'B' << 3701 << 'B' << 4799 << "Max:  OL"
                                   << "Min: 23.7A"
                                   << "Average: 23.7A";
    QTest::newRow("past the band") << 'B' << 4800 << 'B' << 3700 << "Max: 48mA"
                                   << "Min: 37mA"
                                   << "Average: 42.5mA";
}

void TstCurveViewWindow::statistics_table() {
    // Catches a wrong range factor, unit switch, cut-off, OL caption or prefix in the curve statistics.
    FormFixture f;
    Form1& w = *f.form;
    QFETCH(char, range1);
    QFETCH(int, count1);
    QFETCH(char, range2);
    QFETCH(int, count2);
    put_record(w, 0, range1, count1);
    put_record(w, 1, range2, count2);
    w.Command15_Click();
    QTEST(w.Label1->text(), "max");
    QTEST(w.Label2->text(), "min");
    QTEST(w.Label5->text(), "avg");
    QVERIFY(w.curve_value[0] <= 2370000);
}

void TstCurveViewWindow::exact_average_over_4600_records() {
    // Catches an average that stops summing on a large total, and statistics that include the
    // empty slot after the last record or leave out the last record.
    FormFixture f;
    Form1& w = *f.form;
    for (int s = 0; s < 2300; ++s)
        put_record(w, s, '1', 200); // 20 A
    for (int s = 2300; s < 4599; ++s)
        put_record(w, s, '1', 100); // 10 A
    put_record(w, 4599, '0', 23);   // 23 A, the last record
    w.Command15_Click();
    QCOMPARE(int(w.ji_ge), 4601);
    QCOMPARE(w.curve_to, 4601.0);
    QCOMPARE(w.Label1->text(), QStringLiteral("Max: 23A"));
    QCOMPARE(w.Label2->text(), QStringLiteral("Min: 10A"));
    // (2300 x 2000000 + 2299 x 1000000 + 2300000) / 4600 = 1500282.6..
    QCOMPARE(w.Label5->text(), QStringLiteral("Average: 15A"));
}

void TstCurveViewWindow::curve_value_rebuilt() {
    // Catches slots of an earlier, longer record set left in curve_value.
    FormFixture f;
    Form1& w = *f.form;
    for (int s = 0; s < 10; ++s)
        put_record(w, s, 'B', 77);
    w.Command15_Click();
    QCOMPARE(w.curve_value[9], 77.0);
    w.clear_records();
    put_record(w, 0, 'B', 5);
    w.curve_value[6000] = 99;
    w.Command15_Click();
    QCOMPARE(w.curve_value[0], 5.0);
    QCOMPARE(w.curve_value[9], 0.0);
    QCOMPARE(w.curve_value[6000], 0.0);
}

void TstCurveViewWindow::readout_data() {
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("y"); // pixel row on the chart
    QTest::addColumn<QString>("text");
    // The zero line is at 4780 twips (pixel 318.7), the top division at 580 (pixel 38.7).
    QTest::newRow("zero, amperes") << 3000.0 << 319 << "0A";
    QTest::newRow("top, amperes") << 3000.0 << 39 << "21A";
    QTest::newRow("2 percent") << 3000.0 << 313 << ".42A";
    QTest::newRow("below zero") << 3000.0 << 340 << "-1.68A";
    QTest::newRow("above the top") << 3000.0 << 10 << "23.1A";
    QTest::newRow("zero, milliamperes") << 71.0 << 319 << "0mA";
    QTest::newRow("top, milliamperes") << 71.0 << 39 << "497mA";
    QTest::newRow("top, 243") << 243.0 << 39 << "1.701A";
    QTest::newRow("top, 1") << 1.0 << 39 << "7mA";
}

void TstCurveViewWindow::readout() {
    // Catches a readout measured from the wrong zero line, in the wrong unit, or not shown at all.
    FormFixture f;
    Form1& w = *f.form;
    w.Command15_Click();
    QFETCH(double, scale);
    QFETCH(int, y);
    w.chart_scale = scale;
    move_cursor(w.Picture1, QPoint(300, y));
    w.cursor_readout();
    QTEST(w.Text29->text(), "text");
}

void TstCurveViewWindow::readout_off_chart_empties() {
    // Catches a readout that keeps the last value once the cursor has left the chart.
    FormFixture f;
    Form1& w = *f.form;
    w.Command15_Click();
    move_cursor(w.Picture1, QPoint(300, 39));
    w.cursor_readout();
    QCOMPARE(w.Text29->text(), QStringLiteral("21A"));
    leave_chart(w.Picture1);
    w.cursor_readout();
    QVERIFY(w.Text29->text().isEmpty());
}

void TstCurveViewWindow::readout_leaves_realtime_reading() {
    // Catches the readout overwriting or emptying the live reading outside the curve view.
    FormFixture f;
    Form1& w = *f.form;
    w.Command15_Click();
    w.Command11_Click(); // back to the realtime view
    w.Text29->setText(QStringLiteral("12.3mA"));
    move_cursor(w.Picture1, QPoint(300, 39));
    w.cursor_readout();
    QCOMPARE(w.Text29->text(), QStringLiteral("12.3mA"));
    leave_chart(w.Picture1);
    w.cursor_readout();
    QCOMPARE(w.Text29->text(), QStringLiteral("12.3mA"));
}

void TstCurveViewWindow::readout_on_link_tick() {
    // Catches a readout that is never run by the link tick, so Text29 would not follow the cursor.
    FormFixture f;
    Form1& w = *f.form;
    w.Command15_Click();
    move_cursor(w.Picture1, QPoint(300, 313));
    w.Timer1_Timer();
    QCOMPARE(w.Text29->text(), QStringLiteral(".42A"));
    leave_chart(w.Picture1);
    w.Timer1_Timer();
    QVERIFY(w.Text29->text().isEmpty());
}

QTEST_MAIN(TstCurveViewWindow)
#include "tst_curve_view_window.moc"
