// tessaro-floor: the cost floor of the realtime view. The same widgets at the same places, changed
// at the designed rates (a link tick every 60 ms, the lamp every 300 ms, a reading every 500 ms
// with its chart and snapshot), with none of the program's handlers, link or serial port behind
// them. bench/run measures its CPU like the program's: what the program spends beyond it is its own.
//
//   tessaro-floor           the realtime view
//   tessaro-floor --idle    the ticks only, the realtime controls hidden (the history view, minus the
//                           port check of every link tick)
#include "app/reading_box.h"
#include "app/shape_widget.h"
#include "chart/chart_painter.h"
#include "chart/chart_widget.h"
#include "chart/snapshot_file.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

using namespace tessaro;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool idle = QApplication::arguments().contains(QStringLiteral("--idle"));
    QApplication::setFont(QFont(QStringLiteral("Noto Sans Mono CJK SC"), 9));

    // Pixel places of the realtime view's changing controls (the window's twips / 15).
    QWidget window;
    window.setWindowTitle(QStringLiteral("tessaro-floor"));
    window.resize(1018, 692);
    auto* reading = new ReadingBox(&window);
    reading->setGeometry(80, 8, 673, 177);
    reading->setAlignment(Qt::AlignCenter);
    reading->setReadOnly(true);
    QFont big(QStringLiteral("Noto Sans Mono CJK SC"), 72);
    big.setBold(true);
    reading->setFont(big);
    reading->setAutoFillBackground(true);
    auto* chart = new ChartWidget(&window);
    chart->setGeometry(56, 200, 729, 361);
    auto* stats = new QGroupBox(&window);
    stats->setGeometry(56, 568, 185, 89);
    std::array<QLabel*, 3> labels{};
    for (int i = 0; i < 3; ++i) {
        labels[static_cast<size_t>(i)] = new QLabel(stats);
        labels[static_cast<size_t>(i)]->setGeometry(8, 24 + 16 * i, 169, 17);
    }
    auto* lamp_box = new QGroupBox(&window);
    lamp_box->setGeometry(328, 568, 433, 89);
    (new ShapeWidget(ShapeWidget::Kind::Rectangle, lamp_box))->setGeometry(16, 16, 89, 65);
    auto* lamp = new ShapeWidget(ShapeWidget::Kind::Circle, lamp_box);
    lamp->setGeometry(16, 24, 89, 49);
    lamp->setFilled(true);
    if (idle) {
        // The history view hides the realtime controls; the lamp still ticks, unseen.
        for (QWidget* w : std::initializer_list<QWidget*>{reading, chart, stats, lamp_box}) w->hide();
    }
    window.show();

    QTimer link_tick, lamp_tick, live_poll;
    link_tick.start(60); // wakes the program and does nothing that shows
    QObject::connect(&lamp_tick, &QTimer::timeout, [&, on = false]() mutable {
        on = !on;
        lamp->setColour(on ? QColor(0, 192, 0) : window.palette().color(QPalette::Button));
    });
    lamp_tick.start(300);

    std::vector<double> samples(401, 0.0);
    ChartRenderer renderer;
    SnapshotWriter snapshot;
    const QString snapshot_path = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR", QDir::tempPath())).filePath("tessaro-floor.bmp");
    int n = 0;
    QObject::connect(&live_poll, &QTimer::timeout, [&] {
        const double ma = 12340.0 + 5000.0 * std::sin(n++ / 10.0);
        reading->setText(QString::number(ma / 1000.0, 'f', 2) + QStringLiteral("A"));
        labels[0]->setText(QStringLiteral("Max: %1A").arg(17.34, 0, 'f', 2));
        labels[1]->setText(QStringLiteral("Min: %1A").arg(ma / 1000.0, 0, 'f', 2));
        labels[2]->setText(QStringLiteral("Average: %1A").arg(ma / 1001.0, 0, 'f', 3));
        std::rotate(samples.begin(), samples.begin() + 1, samples.end());
        samples.back() = ma * 100.0;
        ChartInput in;
        in.chart_scale = 3000;
        in.live_samples = samples.data();
        const QImage image = renderer.render(in, QFont(QStringLiteral("Noto Sans Mono CJK SC"), 9));
        chart->setImage(image);
        snapshot.write(image, snapshot_path);
    });
    if (!idle) live_poll.start(500);
    const int rc = QApplication::exec();
    QFile::remove(snapshot_path);
    return rc;
}
