// The main window: every control, the menu, the working state and the handlers of all subsystems.
#pragma once

#include "chart/chart_geometry.h"
#include "chart/chart_vars.h"
#include "history/history_vars.h"
#include "link/link_vars.h"
#include "link/live_log.h"
#include "link/live_vars.h"
#include "output/print_vars.h"
#include "records/record_store.h"

#include <QBasicTimer>
#include <QMainWindow>
#include <QMargins>
#include <QPoint>

#include <array>
#include <cstdint>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QRadioButton;
class QStyle;
class QTimer;

namespace tessaro {

class ChartWidget;
class MqttPublisher;
class MSComm;
class PortsWindow;
struct LiveFrame;
class ShapeWidget;

// Twips to pixels (15 twips a pixel, nearest) for every control position.
inline int twips(double t) { return static_cast<int>(std::nearbyint(t / kTwipsPerPixel)); }

class Form1 : public QMainWindow,
              public RecordStore,
              public LinkVars,
              public LiveVars,
              public AlarmVars,
              public HistoryVars,
              public ChartVars,
              public PrintVars {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // --- controls (designer names) ---
    QWidget* client = nullptr; // the designed client area below the menu bar
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6, *Text7, *Text8, *Text9, *Text10, *Text11,
        *Text12, *Text13, *Text14, *Text15, *Text16, *Text17, *Text18, *Text19, *Text20, *Text21, *Text22,
        *Text23, *Text24, *Text25, *Text26, *Text27, *Text28, *Text29, *Text30, *Text31, *Text32, *Text33,
        *Text34, *Text35, *Text36, *Text37, *Text38, *Text39, *Text40, *Text41, *Text42;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7, *Command8,
        *Command9, *Command11, *Command12, *Command13, *Command15, *Command16;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label7, *Label8;
    QRadioButton *Option1, *Option2, *Option3, *Option4;
    QGroupBox *Frame1, *Frame2, *Frame3, *Frame4, *Frame5, *Frame6, *Frame7;
    ChartWidget* Picture1;
    QFrame* Picture2;
    ShapeWidget *Shape1, *Shape2;
    QComboBox* Combo1;
    QTimer *Timer1, *Timer2, *Timer3;
    MSComm* MSComm1;

    // --- menu ---
    QMenu *wj, *ssjk, *lscx, *daying_1;
    QAction *lscq, *sjk, *u, *k, *l, *zt_1, *jx_11, *ducu, *baoc___1, *qikon, *shengcuq, *jianxun, *huaiyuan,
        *d_uy_x;
    QAction* ports_item = nullptr;      // File, "Ports…"
    PortsWindow* ports_window = nullptr;
    // Additions: the records file (File menu) and the live log (Realtime menu).
    QAction *export_csv_action, *open_csv_action, *record_action, *stop_record_action;
    QAction *publish_action, *stop_publish_action; // Realtime: "Publish to MQTT…", "Stop publishing"
    QAction* open_recording_action = nullptr; // File, "Open recording…" (trend/)

    // Text1..Text42 by number (index 0 unused).
    QLineEdit* text_box(int n) const { return text_boxes_.at(static_cast<size_t>(n)); }

    // --- shell (app/) ---
    void load();                 // the start-up steps
    void reset_controls();       // every control back to its designed state
    void unload_form();          // hides the window for printing; variables keep their values
    void show_loaded();          // shows it again and runs start-up
    void Label4_Click();         // web link
    void exit_program();         // menu Exit and closing the window
    void show_ports_window();    // File, "Ports…"
    bool quitting = false;       // set once the program is ending: every loop leaves

    // --- view modes (app/) ---
    void Command11_Click();      // realtime view command
    void Command9_Click();       // history view command
    void realtime_layout();
    void history_layout();

    // --- link (link/) ---
    void send_address(uint16_t address);
    void send_address_after_quiet(uint16_t address); // once the shifted reply on the wire is over
    void MSComm1_OnComm();       // receive handler
    void port_check_reply();
    void Timer1_Timer();         // link tick
    void Timer3_Timer();         // port supervisor
    void tell_port_refused();    // once per device: the port may not be opened, and the fix
    void select_saved_port();    // start-up: the port box from the port file
    // download
    void read_click();           // Read on Command5
    void ask_count();
    void count_reply();
    void record_frame();
    // live acquisition
    void Timer2_Timer();         // live poll
    void live_frame();
    void redraw_stat_labels();   // statistics labels from the shown statistics
    void reset_live_average();   // start-up: the average starts afresh
    void reset_extremes();       // maximum 0, no minimum yet
    void view_restart_extremes(); // realtime view: restart the extremes while no average is shown
    // pause and start
    void Command5_Click();
    void button_pause();
    void menu_pause();
    void button_start();
    void menu_start();
    // alarm
    void Command6_Click();       // Lock / Unlock
    void unlock_alarm();         // caption "Lock", inputs enabled, no threshold
    void alarm_classify(int64_t scaled);
    void lamp_tick();
    void show_alarm_panel_state(); // after a reload: the panel shows the kept lock
    void describe_lamp();        // the lamp's state in words for screen readers and its tooltip

    // --- history table (history/) ---
    void format_record(int16_t page, int16_t row);
    void show_page(int16_t page_number);
    void write_page_status(int page_number);
    void Command3_Click();       // Up
    void Command4_Click();       // Down
    void Command8_Click();       // Go to
    void Command12_Click();      // Ascend
    void Command13_Click();      // Descend
    void pai_ji(int32_t& ad_ji1, uint8_t& com_cz);
    void Command2_Click();       // Empty
    void Command7_Click();       // Restore

    // --- chart (chart/) ---
    void draw_chart();
    void Command15_Click();      // curve view command
    void Picture1_MouseDown(QPoint twips_pos);
    void Picture1_Click(QPoint twips_pos);
    void cursor_readout();

    // --- saving and printing (output/) ---
    void Command1_Click();       // Save
    void Command16_Click();      // Print
    // records file
    bool download_running() const; // a count or record request is on the wire
    void export_records_csv();   // File: Export CSV...
    void open_records_csv();     // File: Open CSV...

    // --- trend of a recording (trend/) ---
    void open_recording();       // File: Open recording...

    // --- live log (link/) ---
    void start_recording();      // Realtime: Record to file...
    void stop_recording();       // Realtime: Stop recording
    void log_live_reading(const LiveLogReading& reading); // one accepted reading into the log
    void sync_live_log();        // flushes the log to the disk when it is due
    void show_recording_state(); // the menu items and the tooltips that tell the log's state
    LiveLogReading live_log_reading(const LiveFrame& frame) const; // the reading as logged and published
    LiveLog live_log;

    // --- MQTT publishing (app/) ---
    void start_publishing();     // Realtime: Publish to MQTT...
    void stop_publishing();      // Realtime: Stop publishing
    void publish_live_reading(const LiveLogReading& reading);
    void show_publishing_state(); // the menu items' and the status line's tooltips
    QString publishing_tip() const;
    MqttPublisher* publisher = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void create_controls();
    void create_menu();
    void connect_handlers();
    void connect_keyboard();     // Enter on buttons and entries, the menus' Alt keys
    void name_controls();        // accessible names of the controls that have no caption

    void place_window();         // the frame at the top of the screen, centred, inside it
    QBasicTimer placement_timer_; // looks at the frame for a while after the window is shown
    int placement_checks_ = 0;
    QMargins placed_margins_;     // the frame's margins the window was last placed with

    std::array<QLineEdit*, 43> text_boxes_{};
    std::array<bool, 43> typed_{}; // the box's next textChanged comes from the user's typing
    // Where the operator left each box's cursor (0 after every text the program writes); a
    // cursor moved by anything else goes back there.
    std::array<int, 43> kept_cursor_{};
    QLineEdit* operator_box_ = nullptr; // the box handling the operator's key or mouse event now
    void show_start(int n);             // the box's text from its first character, kept so
    QStyle* caretless_style_ = nullptr;
};

} // namespace tessaro
