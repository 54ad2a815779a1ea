// Drawing the chart into Picture1 and the snapshot file.
#include "app/form1.h"

#include "chart/chart_painter.h"

#include "chart/chart_widget.h"
#include "platform/paths.h"

#include <QFont>
#include <QImage>

namespace tessaro {

namespace {
// The surface's default font; the program maps the family to a CJK face.
constexpr int kChartFontPoints = 9;
} // namespace

void Form1::draw_chart() {
    ChartInput in;
    in.curve_mode = curve_mode;
    in.chart_scale = chart_scale;
    in.live_samples = live_samples.data();
    in.curve_value = curve_value.data();
    in.curve_from = curve_from;
    in.curve_to = curve_to;
    // The surface lets go of the last frame (no repaint runs before it gets the new one), so the
    // renderer draws into the same buffer again.
    Picture1->setImage(QImage());
    if (!Picture1->screenImage().isNull()) Picture1->setScreenImage(QImage());
    const QFont font(QStringLiteral("宋体"), kChartFontPoints);
    const QImage image = chart_renderer.render(in, font);
    Picture1->setImage(image);
    // A high-DPI screen gets its own drawing at its resolution; the snapshot stays at ratio 1.
    const qreal ratio = Picture1->devicePixelRatioF();
    if (ratio != 1.0) Picture1->setScreenImage(screen_renderer.render(in, font, ratio));
    // Nothing reads the snapshot back: a folder that cannot be written costs only the file.
    snapshot_writer.write(image, paths::snapshot_file());
}

} // namespace tessaro
