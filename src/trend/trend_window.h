// The trend window: one recording in a window of its own, beside the main window and the link.
#pragma once

#include "recording_file.h"

#include <QMainWindow>

#include <chrono>
#include <memory>

class QLabel;
class QTimer;
class QAction;

namespace tessaro::trend {

class TrendPlot;

class TrendWindow : public QMainWindow {
    Q_OBJECT
public:
    // How often a recording is looked at for new readings.
    static constexpr std::chrono::milliseconds kFollowInterval{1000};

    // Opens path in a new window and shows it; tells the operator and returns nullptr when the
    // file cannot be shown (not a regular file, another program's file, too large).
    static TrendWindow* open_recording(const QString& path, QWidget* parent = nullptr);

    ~TrendWindow() override;

    TrendPlot* plot() const { return plot_; }
    const RecordingFile& file() const { return *file_; }
    QLabel* statistics() const { return stats_; }
    QLabel* notes() const { return notes_; }
    QLabel* readout() const { return readout_; }
    bool loading() const { return loading_; }

    void export_view();      // File, "Export view…"
    void export_range_csv(); // File, "Export range as CSV…"
    void look_for_readings(); // the follow tick: reads what was added to the file

signals:
    void loaded(); // the whole file as it was at opening is on show

private:
    TrendWindow(std::unique_ptr<RecordingFile> file, QWidget* parent);
    void read_step();
    void show_statistics();
    void show_notes();
    void tell(const QString& text);
    // The save dialog for a file named after the recording; empty on cancel.
    QString ask_save_name(const QString& ending, const QString& filter, const QString& suffix);

    std::unique_ptr<RecordingFile> file_;
    TrendPlot* plot_ = nullptr;
    QLabel* readout_ = nullptr;
    QLabel* stats_ = nullptr;
    QLabel* notes_ = nullptr;
    QTimer* follow_ = nullptr;
    QTimer* reader_ = nullptr;
    bool loading_ = true;
    bool refused_ = false; // the file turned out unshowable while being read
};

} // namespace tessaro::trend
