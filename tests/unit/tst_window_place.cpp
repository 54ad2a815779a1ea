// Where the main window stands: the frame at the top of the free area, centred, wholly inside it.
#include "app/window_place.h"

#include <QTest>

using namespace tessaro;

class TstWindowPlace : public QObject {
    Q_OBJECT
private slots:
    void framePlaced_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QSize>("designed");
        QTest::addColumn<QRect>("client");
        const QSize designed(1016, 714);
        QTest::newRow("room to spare") << QRect(0, 0, 1920, 1080) << QMargins(1, 25, 1, 1) << designed
                                       << QRect(452, 25, 1016, 714);
        QTest::newRow("panel on top") << QRect(0, 30, 1920, 1050) << QMargins(4, 22, 4, 4) << designed
                                      << QRect(452, 52, 1016, 714);
        QTest::newRow("not framed yet") << QRect(0, 0, 1280, 1024) << QMargins() << designed
                                        << QRect(132, 0, 1016, 714);
        // Scale 2: 2032 x 1428 designed; the frame fits by the client shrinking.
        QTest::newRow("scale 2 on 1920x1080") << QRect(0, 0, 960, 540) << QMargins(1, 20, 1, 1) << designed
                                              << QRect(1, 20, 958, 519);
        QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024) << QMargins(2, 30, 2, 2) << designed
                                       << QRect(1920 + 132, 30, 1016, 714);
        QTest::newRow("screen smaller than the frame") << QRect(0, 0, 10, 10) << QMargins(5, 30, 5, 5) << designed
                                                       << QRect(5, 30, 1, 1);
    }
    void framePlaced() {
        // Catches a window placed by its client area (its title bar above the screen) or sized
        // without its frame (its bottom past the screen).
        QFETCH(QRect, available);
        QFETCH(QMargins, frame);
        QFETCH(QSize, designed);
        QFETCH(QRect, client);
        const QRect got = client_placement(available, frame, designed);
        QCOMPARE(got, client);
        const QRect outer = got.marginsAdded(frame);
        if (available.width() >= frame.left() + frame.right() + 1 && available.height() >= frame.top() + frame.bottom() + 1) {
            QVERIFY(available.contains(outer));
            QCOMPARE(outer.top(), available.top());
        }
    }
};

QTEST_APPLESS_MAIN(TstWindowPlace)
#include "tst_window_place.moc"
