// The curve view command, drags on the chart and the cursor readout.
#include "app/form1.h"

#include "chart/chart_widget.h"
#include "chart/curve_view.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace tessaro {

namespace {

constexpr uint8_t kCurveViewMode = 100;
constexpr double kCurveViewScale = 3000;
constexpr double kCurveViewFontPt = 100;
// Thresholds (pixels) past which a drag in the curve view needs a fresh record count.
constexpr int kRecountUpPx = 30;
constexpr int kRecountRightPx = 20;

int16_t to_pixels(int twips_coordinate) {
    const int px = twips_coordinate / kTwipsPerPixel;
    return static_cast<int16_t>(std::clamp(px, -32768, 32767));
}

void show_stats(Form1& w, bool with_blank) {
    const CurveStats st = curve_stats(w.curve_value.data(), w.curve_from, w.curve_to, with_blank);
    w.Label1->setText(st.max_label);
    w.Label2->setText(st.min_label);
    w.Label5->setText(st.avg_label);
}

} // namespace

void Form1::Command15_Click() {
    if (sorting) return; // the sort's event pump must not switch views under it

    Text37->hide();
    chart_scale = kCurveViewScale;
    realtime_layout();
    curve_mode = kCurveViewMode;

    Command15->setEnabled(true);
    Command1->setEnabled(true);
    Command5->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{Text36, Text35, Option3, Option4, Frame6, Command6,
                                                      Command4, Command3})
        w->hide();
    Text29->show();
    Text41->show();
    Text41->clear();

    link_state = 2;
    dl_session = 3;
    dl_unfinished = false; // a view command ends any interrupted download
    QFont f = Text29->font();
    f.setPointSizeF(kCurveViewFontPt);
    Text29->setFont(f);

    count_records();
    build_curve_values(*this, ji_ge, curve_value.data());
    curve_from = 0;
    curve_to = ji_ge;
    if (ji_ge != 0) draw_chart();
    if (curve_to > 2) show_stats(*this, true);
}

void Form1::Picture1_MouseDown(QPoint twips_pos) {
    press_x = to_pixels(twips_pos.x());
    press_y = to_pixels(twips_pos.y());
}

void Form1::Picture1_Click(QPoint twips_pos) {
    const int16_t cx = to_pixels(twips_pos.x());
    const int16_t cy = to_pixels(twips_pos.y());

    if (curve_mode != 0 && (press_y - cy > kRecountUpPx || cx - press_x > kRecountRightPx)) count_records();

    DragInput in;
    in.curve_mode = curve_mode;
    in.press = QPoint(press_x * kTwipsPerPixel, press_y * kTwipsPerPixel);
    in.release = QPoint(cx * kTwipsPerPixel, cy * kTwipsPerPixel);
    in.chart_scale = chart_scale;
    in.curve_from = curve_from;
    in.curve_to = curve_to;
    in.ji_ge = ji_ge;
    const DragResult r = chart_drag(in);

    chart_scale = r.chart_scale;
    curve_from = r.curve_from;
    curve_to = r.curve_to;
    if (r.redraw) draw_chart();
    if (r.show_stats) show_stats(*this, r.stats_blank);
}

void Form1::cursor_readout() {
    if (curve_mode != kCurveViewMode) return; // the realtime view's reading stays in Text29
    const bool over = Picture1->isVisible() && Picture1->cursorInside();
    const QString text =
        tessaro::cursor_readout(Picture1->cursorTwips(), over, chart_scale).value_or(QString());
    if (Text29->text() != text) Text29->setText(text);
}

} // namespace tessaro
