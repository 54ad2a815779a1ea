// The two view commands and the layouts they switch between.
#include "form1.h"

#include "app/shape_widget.h"
#include "chart/chart_widget.h"
#include "link/mscomm.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace tessaro {

namespace {
void set_shown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}
void set_option(QRadioButton* on, QRadioButton* off) {
    // An exclusive group ignores clearing its checked button: set the other one first.
    on->setEnabled(true);
    on->setChecked(true);
    off->setChecked(false);
    off->setEnabled(false);
}
} // namespace

void Form1::realtime_layout() {
    for (int n = 1; n <= 26; ++n) text_box(n)->hide();
    set_shown({Text28, Text31, Text32, Frame5, Text41, Text42, Label7, Text27, Label8, Command8, Command3,
               Command4, Command12, Command13, Command7, Text33, Text34, Text37},
              false);
    set_shown({Picture1, Picture2, Frame7, Frame6, Shape1, Shape2, Text36, Text35, Option3, Option4, Command6},
              true);
    Command5->setEnabled(true);
    for (QPushButton* b : {Command1, Command2, Command15, Command16}) b->setEnabled(false);
}

void Form1::history_layout() {
    for (int n = 1; n <= 26; ++n) text_box(n)->show();
    set_shown({Text28, Text31, Text32, Frame5, Text41, Text42, Label7, Text27, Label8, Command8, Command3,
               Command4, Command12, Command13, Command7},
              true);
    Command7->setEnabled(true);
    set_shown({Text33, Text34, Text37, Picture1, Picture2, Frame7, Frame6, Shape1, Shape2, Text36, Text35,
               Option3, Option4, Command6},
              false);
    for (QPushButton* b : {Command1, Command2, Command15, Command16}) b->setEnabled(true);
}

void Form1::Command11_Click() {
    if (sorting) return; // the sort's event pump must not switch views under it
    Text33->hide();
    curve_mode = 0;
    live_skip = 0;
    view_restart_extremes();
    link_state = 2;
    dl_session = 3;
    dl_unfinished = false;
    acq_on = 1;
    realtime_layout();
    Command1->setEnabled(true);
    Text29->show();
    Text29->clear();
    Timer2->setInterval(500);
    Timer2->start();
    set_option(Option1, Option2);
    Command5->setText(QStringLiteral("Pause"));
    Text41->show();
    Text41->clear();
    QFont f = Text29->font();
    f.setPointSizeF(140);
    Text29->setFont(f);
    draw_chart();
    redraw_stat_labels();
}

void Form1::Command9_Click() {
    if (sorting) return;
    curve_mode = 0;
    acq_on = 0;
    Timer2->stop();
    link_state = 2;
    dl_session = 0;
    dl_unfinished = false;
    link_phase = 2;
    MSComm1->setRThreshold(2);
    MSComm1->setInputLen(2);
    Text42->clear();
    history_layout();
    Text29->hide();
    Command1->show();
    Command2->show();
    Text29->clear();
    set_option(Option2, Option1);
    Command5->setText(QStringLiteral("Read"));
    Command5->setEnabled(true);
}

} // namespace tessaro
