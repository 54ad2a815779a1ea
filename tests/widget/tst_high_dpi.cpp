// The window on a high-DPI screen (scale factor 2, a small screen): it fits and scrolls, the chart is
// drawn at the screen's resolution, the snapshot and the saved bitmap stay as at ratio 1.
#include "app/form1.h"
#include "app/form2.h"
#include "chart/chart_painter.h"
#include "chart/chart_widget.h"
#include "chart/snapshot_file.h"
#include "output/atomic_file.h"
#include "platform/paths.h"
#include "support/form_fixture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaro;

namespace {

// The chart as a ratio-1 screen shows and saves it.
QImage ratio_one_chart(const Form1& form) {
    ChartInput in;
    in.curve_mode = form.curve_mode;
    in.chart_scale = form.chart_scale;
    in.live_samples = form.live_samples.data();
    in.curve_value = form.curve_value.data();
    in.curve_from = form.curve_from;
    in.curve_to = form.curve_to;
    return render_chart(in, QFont(QStringLiteral("宋体"), 9));
}

// Fills a live curve that crosses the chart, so the picture has slanted lines.
void live_wave(Form1& form) {
    for (int j = 0; j <= 400; ++j) form.live_samples[static_cast<size_t>(j)] = 100000.0 + 9000.0 * (j % 97);
    form.chart_scale = 243;
    form.draw_chart();
}

// Scrolls the control into view as the operator would and checks it is there whole.
void reach(QScrollArea* scroller, QWidget* w) {
    const QPoint centre = w->mapTo(scroller->widget(), w->rect().center());
    scroller->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
    const QRect on_view(w->mapTo(scroller->viewport(), QPoint(0, 0)), w->size());
    QVERIFY2(scroller->viewport()->rect().contains(on_view),
             qPrintable(QStringLiteral("%1 at %2,%3 in %4x%5")
                            .arg(w->objectName()).arg(on_view.x()).arg(on_view.y())
                            .arg(scroller->viewport()->width()).arg(scroller->viewport()->height())));
}

} // namespace

class TstHighDpi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    void windowFitsTheScreenAndScrolls() {
        // Catches a fixed-size window larger than the screen (menu clipped, paging, alarm and
        // statistics out of reach) on a 2x screen.
        test::FormFixture f;
        Form1& form = *f.form;
        const QRect available = form.screen()->availableGeometry();
        QVERIFY2(available.contains(form.frameGeometry()),
                 qPrintable(QStringLiteral("window %1x%2 on %3x%4")
                                .arg(form.frameGeometry().width()).arg(form.frameGeometry().height())
                                .arg(available.width()).arg(available.height())));
        QCOMPARE(form.client->size(), QSize(1016, 692)); // the designed layout, scrolled
        QVERIFY(form.menuBar()->isVisible());
        QVERIFY(form.geometry().contains(form.menuBar()->mapTo(&form, QPoint(0, 0)) + form.geometry().topLeft()));
        auto* scroller = form.findChild<QScrollArea*>(QStringLiteral("clientScroll"));
        QVERIFY(scroller);
        QTRY_VERIFY(scroller->verticalScrollBar()->maximum() > 0);
        form.Command9_Click();
        for (QWidget* w : std::initializer_list<QWidget*>{form.Command8, form.Text27, form.Command4, form.Text42,
                                                          form.Command7, form.Command16}) {
            reach(scroller, w);
        }
        form.Command11_Click();
        for (QWidget* w : std::initializer_list<QWidget*>{form.Command6, form.Text35, form.Label5}) {
            reach(scroller, w);
        }
    }

    void chartDrawnAtTheScreensRatio() {
        // Catches a chart that is a ratio-1 picture blown up (blocky text, stair-stepped arrows), and a
        // snapshot or saved bitmap that changes size, ratio or pixels on a high-DPI screen.
        test::FormFixture f;
        Form1& form = *f.form;
        live_wave(form);
        const QImage screen = form.Picture1->screenImage();
        QCOMPARE(screen.devicePixelRatio(), 2.0);
        QCOMPARE(screen.size(), QSize(1458, 722));
        // Finer than a blown-up picture: many 2x2 blocks hold more than one colour.
        int mixed = 0;
        for (int y = 0; y + 1 < screen.height(); y += 2)
            for (int x = 0; x + 1 < screen.width(); x += 2) {
                const QRgb p = screen.pixel(x, y);
                if (screen.pixel(x + 1, y) != p || screen.pixel(x, y + 1) != p || screen.pixel(x + 1, y + 1) != p) ++mixed;
            }
        QVERIFY2(mixed > 500, qPrintable(QString::number(mixed)));
        // The same picture: the screen image scaled down keeps the curve and the axes where they were.
        const QImage one = form.Picture1->image();
        QCOMPARE(one.devicePixelRatio(), 1.0);
        QCOMPARE(one.size(), QSize(729, 361));
        QCOMPARE(one, ratio_one_chart(form));

        // The snapshot: ratio 1, the pixels of the ratio-1 chart.
        const QImage snapshot(paths::snapshot_file());
        QCOMPARE(snapshot.size(), QSize(729, 361));
        QCOMPARE(snapshot.convertToFormat(QImage::Format_RGB32), one);

        // The saved bitmap holds the bytes a ratio-1 screen saves.
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("chart.bmp"));
        f.user.save_names.enqueue(name);
        form.Command1_Click();
        const QString before = dir.filePath(QStringLiteral("ratio1.bmp"));
        QVERIFY(!save_chart_bitmap(ratio_one_chart(form), before));
        QFile saved(name), reference(before);
        QVERIFY(saved.open(QIODevice::ReadOnly) && reference.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), reference.readAll());
    }

    void splashDrawnAtTheScreensRatio() {
        // Catches a splash whose pictures are ratio-1 files blown up on a 2x screen (blocky text).
        Form2 splash;
        QCOMPARE(splash.size(), QSize(803, 467));
        const std::pair<const char*, QSize> pictures[] = {
            {"background", QSize(802, 466)}, {"Picture1", QSize(97, 49)}, {"Picture2", QSize(97, 49)}};
        for (const auto& [name, size] : pictures) {
            auto* label = splash.findChild<QLabel*>(QString::fromLatin1(name));
            QVERIFY2(label, name);
            const QPixmap p = label->pixmap();
            QCOMPARE(p.devicePixelRatio(), 2.0);
            QCOMPARE(p.deviceIndependentSize().toSize(), size);
            QCOMPARE(p.size(), size * 2);
            // Finer than a blown-up picture: 2x2 blocks with more than one colour along the text's edges.
            const QImage img = p.toImage();
            int mixed = 0;
            for (int y = 0; y + 1 < img.height(); y += 2)
                for (int x = 0; x + 1 < img.width(); x += 2) {
                    const QRgb c = img.pixel(x, y);
                    if (img.pixel(x + 1, y) != c || img.pixel(x, y + 1) != c || img.pixel(x + 1, y + 1) != c) ++mixed;
                }
            QVERIFY2(mixed > 100, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name)).arg(mixed)));
        }
    }

    void chartFollowsTheRatioItIsShownAt() {
        // Catches a chart that keeps a picture drawn for another ratio after the window changes screens.
        test::FormFixture f;
        Form1& form = *f.form;
        form.Picture1->setScreenImage(QImage()); // as after a move from a ratio-1 screen
        form.Picture1->repaint();
        QTRY_COMPARE(form.Picture1->screenImage().devicePixelRatio(), 2.0);
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TstHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_high_dpi.moc"
