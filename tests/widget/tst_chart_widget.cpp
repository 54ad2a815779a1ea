// The chart surface widget: presses, releases and the cursor reported in twips.
#include "chart/chart_widget.h"

#include <QtTest>

using namespace tessaro;

class TstChartWidget : public QObject {
    Q_OBJECT
private slots:
    void press_and_release_in_twips();
    void release_without_press_ignored();
    void release_outside();
    void cursor_tracking();
};

void TstChartWidget::press_and_release_in_twips() {
    // Catches positions reported in pixels instead of twips, or a release not reported.
    ChartWidget w;
    w.resize(729, 361);
    QSignalSpy pressed(&w, &ChartWidget::pressed);
    QSignalSpy released(&w, &ChartWidget::released);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(400, 160));
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(pressed[0][0].toPoint(), QPoint(1500, 3000));
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toPoint(), QPoint(6000, 2400));
    QCOMPARE(released[0][2].toBool(), true);
}

void TstChartWidget::release_without_press_ignored() {
    // Catches a click acted on whose press happened elsewhere (no stored press position).
    ChartWidget w;
    w.resize(729, 361);
    QSignalSpy released(&w, &ChartWidget::released);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(400, 160));
    QCOMPARE(released.size(), 0);
}

void TstChartWidget::release_outside() {
    // Catches a release beyond the surface reported as inside it.
    ChartWidget w;
    w.resize(729, 361);
    QSignalSpy released(&w, &ChartWidget::released);
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(800, 200));
    QCOMPARE(released.size(), 1);
    QCOMPARE(released[0][0].toPoint(), QPoint(12000, 3000));
    QCOMPARE(released[0][2].toBool(), false);
}

void TstChartWidget::cursor_tracking() {
    // Catches a cursor position that is not followed without a button held, or kept after leaving.
    ChartWidget w;
    w.resize(729, 361);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QMouseEvent move(QEvent::MouseMove, QPointF(50, 60), w.mapToGlobal(QPointF(50, 60)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    QVERIFY(w.cursorInside());
    QCOMPARE(w.cursorTwips(), QPoint(750, 900));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&w, &leave);
    QVERIFY(!w.cursorInside());
}

QTEST_MAIN(TstChartWidget)
#include "tst_chart_widget.moc"
