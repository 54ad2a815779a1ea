// The main window: construction, menu, start-up, unloading for printing and exit.
#include "form1.h"

#include "chart/chart_widget.h"
#include "link/mscomm.h"
#include "platform/user_seam.h"
#include "window_looks.h"
#include "window_place.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

namespace tessaro {

namespace {
constexpr auto kColumnHeader =
    "  No     Current    Data     Time                           No    Current    Data     Time";
} // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("TessaroV1.0"));
    MSComm1 = new MSComm(this);
    MSComm1->setObjectName("MSComm1");
    create_controls();
    create_menu();
    connect_handlers();
    connect_keyboard();
    name_controls();
    reset_controls();
}

Form1::~Form1() {
    quitting = true;
    MSComm1->setPortOpen(false);
}

void Form1::create_menu() {
    QMenuBar* bar = menuBar();
    auto add = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    wj = bar->addMenu(QStringLiteral("File(F)"));
    wj->setObjectName("wj");
    lscq = add(wj, "lscq", "History");
    sjk = add(wj, "sjk", "Realtime");
    u = add(wj, "u", "Read");
    k = add(wj, "k", "Save");
    ports_item = add(wj, "ports_item", QStringLiteral("Ports…"));
    export_csv_action = add(wj, "export_csv", QStringLiteral("Export CSV\u2026"));
    open_csv_action = add(wj, "open_csv", QStringLiteral("Open CSV\u2026"));
    open_recording_action = add(wj, "open_recording", QStringLiteral("Open recording\u2026"));
    l = add(wj, "l", "Exit");
    ssjk = bar->addMenu(QStringLiteral("Realtime(S)"));
    ssjk->setObjectName("ssjk");
    zt_1 = add(ssjk, "zt_1", "Pause");
    jx_11 = add(ssjk, "jx_11", "Start");
    record_action = add(ssjk, "record_to_file", QStringLiteral("Record to file\u2026"));
    stop_record_action = add(ssjk, "stop_recording", QStringLiteral("Stop recording"));
    stop_record_action->setEnabled(false);
    publish_action = add(ssjk, "publish_mqtt", QStringLiteral("Publish to MQTT\u2026"));
    stop_publish_action = add(ssjk, "stop_publishing", QStringLiteral("Stop publishing"));
    stop_publish_action->setEnabled(false);
    ssjk->setToolTipsVisible(true);
    lscx = bar->addMenu(QStringLiteral("History(L)"));
    lscx->setObjectName("lscx");
    ducu = add(lscx, "ducu", "Read");
    baoc___1 = add(lscx, "baoc___1", "Save");
    qikon = add(lscx, "qikon", "Empty");
    shengcuq = add(lscx, "shengcuq", "Up");
    jianxun = add(lscx, "jianxun", "Down");
    huaiyuan = add(lscx, "huaiyuan", "Restore");
    daying_1 = bar->addMenu(QStringLiteral("Print(D)"));
    daying_1->setObjectName("daying_1");
    d_uy_x = add(daying_1, "d_uy_x", "Print");
}

void Form1::connect_handlers() {
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
    connect(Command13, &QPushButton::clicked, this, &Form1::Command13_Click);
    connect(Command15, &QPushButton::clicked, this, &Form1::Command15_Click);
    connect(Command16, &QPushButton::clicked, this, &Form1::Command16_Click);

    // Moved to a screen of another device-pixel ratio: the chart is drawn again for it.
    connect(Picture1, &ChartWidget::ratioChanged, this, &Form1::draw_chart, Qt::QueuedConnection);
    connect(Picture1, &ChartWidget::pressed, this, [this](QPoint p, Qt::MouseButton) { Picture1_MouseDown(p); });
    connect(Picture1, &ChartWidget::released, this, [this](QPoint p, Qt::MouseButton b, bool inside) {
        if (b == Qt::LeftButton && inside) Picture1_Click(p);
    });
    Label4->installEventFilter(this);

    // Menu items: each runs the button's click procedure under the condition of the menu table.
    connect(lscq, &QAction::triggered, this, &Form1::Command9_Click);
    connect(sjk, &QAction::triggered, this, &Form1::Command11_Click);
    auto read = [this] {
        if (Command5->text() == QLatin1String("Read")) Command5_Click();
    };
    connect(u, &QAction::triggered, this, read);
    connect(ducu, &QAction::triggered, this, read);
    connect(k, &QAction::triggered, this, &Form1::Command1_Click);
    connect(baoc___1, &QAction::triggered, this, &Form1::Command1_Click);
    connect(l, &QAction::triggered, this, &Form1::exit_program);
    connect(ports_item, &QAction::triggered, this, &Form1::show_ports_window);
    connect(zt_1, &QAction::triggered, this, [this] {
        if (Command5->text() == QLatin1String("Pause")) menu_pause();
    });
    connect(jx_11, &QAction::triggered, this, [this] {
        if (Command5->text() == QLatin1String("Start")) menu_start();
    });
    auto when_enabled = [this](QAction* action, QPushButton* button, void (Form1::*click)()) {
        connect(action, &QAction::triggered, this, [this, button, click] {
            if (button->isEnabled()) (this->*click)();
        });
    };
    when_enabled(qikon, Command2, &Form1::Command2_Click);
    when_enabled(shengcuq, Command12, &Form1::Command12_Click);
    when_enabled(jianxun, Command13, &Form1::Command13_Click);
    when_enabled(huaiyuan, Command7, &Form1::Command7_Click);
    when_enabled(d_uy_x, Command16, &Form1::Command16_Click);
    connect(export_csv_action, &QAction::triggered, this, &Form1::export_records_csv);
    connect(open_csv_action, &QAction::triggered, this, &Form1::open_records_csv);
    connect(open_recording_action, &QAction::triggered, this, &Form1::open_recording);
    connect(record_action, &QAction::triggered, this, &Form1::start_recording);
    connect(stop_record_action, &QAction::triggered, this, &Form1::stop_recording);
    connect(publish_action, &QAction::triggered, this, &Form1::start_publishing);
    connect(stop_publish_action, &QAction::triggered, this, &Form1::stop_publishing);
}

void Form1::load() {
    chart_scale = 3000.0;
    curve_mode = 0;
    reset_live_average();
    std::fill(live_samples.begin(), live_samples.begin() + 411, 4200000.0);
    reset_extremes();

    place_window();
    // A window manager frames the window only after it is shown, and the frame's size is known only
    // then: the window is placed again once it is.
    if (isVisible()) {
        placement_checks_ = 40;
        placement_timer_.start(50, this);
    }
    Label4->resize(twips(15230), Label4->height());
    Label4->clear();

    for (int n = 1; n <= 26; ++n) text_box(n)->clear();
    count_records();
    link_state = 2;
    Text31->setText(QString::fromLatin1(kColumnHeader));
    Text32->setText(QStringLiteral(" History Data"));
    draw_chart();
    Command11_Click();
    for (int n = 1; n <= 26; ++n) set_colours(text_box(n), kPlainText, kPlainBase); // black on white

    Command9_Click();
    Command11_Click();
    select_saved_port();
    show_alarm_panel_state();
    show_publishing_state(); // and the recording's
    describe_lamp();
}

void Form1::place_window() {
    // The outer frame's top edge at the top of the screen's free area, centred; the client area keeps
    // its designed size unless the screen is smaller (a high scale factor): then the window fits the
    // screen and the client area scrolls.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize designed = sizeHint();
    setMaximumSize(designed);
    const QRect frame = frameGeometry(), client = geometry();
    placed_margins_ = QMargins(client.left() - frame.left(), client.top() - frame.top(),
                               frame.right() - client.right(), frame.bottom() - client.bottom());
    setGeometry(client_placement(screen, placed_margins_, designed));
}

void Form1::timerEvent(QTimerEvent* event) {
    if (event->timerId() != placement_timer_.timerId()) return QMainWindow::timerEvent(event);
    const QRect frame = frameGeometry(), client = geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                           frame.bottom() - client.bottom());
    if (margins != placed_margins_) place_window(); // the frame as it now is
    if (--placement_checks_ <= 0) placement_timer_.stop();
}

void Form1::show_loaded() {
    show();
    load();
    // The first link tick comes 30 ms after the window, the first supervisor tick 300 ms after it.
    Timer1->setInterval(30);
    Timer1->start();
    Timer3->setInterval(300);
    Timer3->start();
}

void Form1::unload_form() {
    hide();
    Timer1->stop();
    Timer2->stop();
    Timer3->stop();
    MSComm1->setPortOpen(false); // also drops any receive event still queued
    reset_controls();
}

void Form1::Label4_Click() { open_web_page(); }

void Form1::exit_program() {
    if (quitting) return;
    quitting = true;
    Timer1->stop();
    Timer2->stop();
    Timer3->stop();
    MSComm1->setPortOpen(false);
    stop_recording(); // the log is flushed and closed whole
    // Leaves every event loop, nested ones (a sort pass, a message box, the print wait) included.
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event) {
    exit_program();
    event->accept();
}

} // namespace tessaro
