// The trend window: reading in steps with the event loop running, statistics of the view, exports.
#include "trend_window.h"

#include "platform/safe_file.h"
#include "platform/user_seam.h"
#include "trend_plot.h"

#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaro::trend {

namespace {

const QString kTitle = QStringLiteral("System prompt");

QString percent(int64_t part, int64_t whole) {
    return whole > 0 ? QString::number(100.0 * static_cast<double>(part) / static_cast<double>(whole), 'f', 1) + u'%'
                     : QString();
}

QLabel* text_row(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setWordWrap(true);
    return l;
}

} // namespace

TrendWindow* TrendWindow::open_recording(const QString& path, QWidget* parent) {
    auto file = std::make_unique<RecordingFile>();
    std::optional<QString> why = file->open(path);
    if (!why && file->read_some() == RecordingFile::Step::Refused) why = file->refusal();
    if (why) {
        user_seam().message(parent, MessageRequest{QStringLiteral("Cannot show %1:\n%2").arg(path, *why), kTitle, false,
                                                   false, MessageIcon::Warning});
        return nullptr;
    }
    auto* w = new TrendWindow(std::move(file), parent);
    if (w->refused_) return nullptr; // told, and on its way out
    w->show();
    return w;
}

TrendWindow::TrendWindow(std::unique_ptr<RecordingFile> file, QWidget* parent)
    : QMainWindow(parent), file_(std::move(file)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("trend_window"));
    setWindowTitle(QStringLiteral("%1 \u2013 Trend").arg(QFileInfo(file_->path()).fileName()));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    readout_ = text_row(central, "trend_readout");
    readout_->setText(QStringLiteral(" "));
    plot_ = new TrendPlot(file_->recording(), central);
    stats_ = text_row(central, "trend_statistics");
    notes_ = text_row(central, "trend_notes");
    layout->addWidget(readout_);
    layout->addWidget(plot_, 1);
    layout->addWidget(stats_);
    layout->addWidget(notes_);
    setCentralWidget(central);
    resize(1000, 600);

    QMenu* file_menu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* export_view = file_menu->addAction(QStringLiteral("Export view\u2026"));
    export_view->setObjectName(QStringLiteral("export_view"));
    QAction* export_csv = file_menu->addAction(QStringLiteral("Export range as CSV\u2026"));
    export_csv->setObjectName(QStringLiteral("export_range_csv"));
    file_menu->addSeparator();
    QAction* close_item = file_menu->addAction(QStringLiteral("Close"));
    close_item->setShortcut(QKeySequence::Close);
    QMenu* view_menu = menuBar()->addMenu(QStringLiteral("&View"));
    view_menu->addAction(QStringLiteral("Zoom in\t+"), plot_, [this] { plot_->zoomBy(0.8); });
    view_menu->addAction(QStringLiteral("Zoom out\t\u2212"), plot_, [this] { plot_->zoomBy(1.25); });
    view_menu->addAction(QStringLiteral("Fit all\tHome"), plot_, &TrendPlot::fitAll);
    view_menu->addAction(QStringLiteral("Newest readings\tEnd"), plot_, &TrendPlot::showNewest);
    connect(export_view, &QAction::triggered, this, &TrendWindow::export_view);
    connect(export_csv, &QAction::triggered, this, &TrendWindow::export_range_csv);
    connect(close_item, &QAction::triggered, this, &QWidget::close);

    connect(plot_, &TrendPlot::spanChanged, this, &TrendWindow::show_statistics);
    connect(plot_, &TrendPlot::readoutChanged, this, [this](const QString& text) {
        readout_->setText(text.isEmpty() ? QStringLiteral("Drag to pan, Shift+drag or right-drag to zoom to a span, "
                                                          "wheel or +/\u2212 to zoom, Home to see all.")
                                         : text);
    });
    emit plot_->readoutChanged(QString());

    // Reading goes on in steps so that a large file leaves the windows responsive.
    reader_ = new QTimer(this);
    reader_->setInterval(0);
    connect(reader_, &QTimer::timeout, this, &TrendWindow::read_step);
    follow_ = new QTimer(this);
    follow_->setInterval(kFollowInterval);
    connect(follow_, &QTimer::timeout, this, &TrendWindow::look_for_readings);
    plot_->setFocus();
    read_step();
    if (loading_) reader_->start();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::read_step() {
    const auto step = file_->read_some();
    if (step == RecordingFile::Step::More) {
        const qint64 size = std::max<qint64>(1, file_->file_size());
        stats_->setText(QStringLiteral("Reading\u2026 %1").arg(percent(file_->read_offset(), size)));
        return;
    }
    reader_->stop();
    loading_ = false;
    plot_->fitAll();
    show_statistics();
    show_notes();
    if (step == RecordingFile::Step::Refused) {
        refused_ = true;
        tell(QStringLiteral("Cannot show %1:\n%2").arg(file_->path(), file_->refusal()));
        close();
        return;
    }
    follow_->start();
    emit loaded();
}

void TrendWindow::look_for_readings() {
    if (!file_->grew()) {
        show_notes(); // a file that got shorter says so
        return;
    }
    // A large addition is taken in pieces, one per tick, so the windows stay responsive.
    constexpr int kBlocksPerLook = 16;
    RecordingFile::Step step = RecordingFile::Step::More;
    for (int n = 0; n < kBlocksPerLook && step == RecordingFile::Step::More; ++n) step = file_->read_some();
    if (step == RecordingFile::Step::Refused) {
        follow_->stop();
        tell(QStringLiteral("%1 is no longer followed:\n%2").arg(file_->path(), file_->refusal()));
    }
    plot_->recordingGrew();
    show_statistics();
    show_notes();
}

void TrendWindow::show_statistics() {
    if (loading_) return;
    const Recording& rec = file_->recording();
    const Span s = plot_->span();
    const Summary sum = summarize_span(rec, s.t0, s.t1);
    QString text = QStringLiteral("In view: %1 readings").arg(sum.count);
    if (sum.valued > 0) {
        text += QStringLiteral("   min %1   max %2   mean %3")
                    .arg(current_text(sum.min), current_text(sum.max), current_text(sum.mean()));
    }
    if (sum.flags & kOverload) text += QStringLiteral("   overload shown");
    if (sum.flags & (kAlarm | kNormal)) {
        // Time covered by readings in view, for the share above the threshold.
        const int64_t covered = std::min<int64_t>(s.t1, rec.latest()) - std::max<int64_t>(s.t0, rec.earliest());
        text += QStringLiteral("   at or above the alarm threshold: %1").arg(duration_text(sum.alarm_ms));
        if (covered > 0) text += QStringLiteral(" (%1)").arg(percent(sum.alarm_ms, covered));
    } else if (sum.count > 0) {
        text += QStringLiteral("   no alarm threshold locked");
    }
    stats_->setText(text);
}

void TrendWindow::show_notes() {
    const QString n = file_->notes();
    notes_->setText(n);
    notes_->setVisible(!n.isEmpty());
}

void TrendWindow::tell(const QString& text) {
    user_seam().message(this, MessageRequest{text, kTitle, false, false, MessageIcon::Warning});
}

QString TrendWindow::ask_save_name(const QString& ending, const QString& filter, const QString& suffix) {
    const QFileInfo source(file_->path());
    SaveRequest request;
    request.folder = source.absolutePath();
    request.file_name = source.completeBaseName() + ending;
    request.filter = filter;
    request.default_suffix = suffix;
    const QString name = user_seam().save_file(this, request);
    return name.isEmpty() ? name : with_default_suffix(name, suffix);
}

void TrendWindow::export_view() {
    const QFileInfo source(file_->path());
    const QString name = ask_save_name(QStringLiteral(".png"), QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"),
                                       QStringLiteral("png"));
    if (name.isEmpty()) return;
    const auto format = picture_format_of(name);
    if (!format) return tell(QStringLiteral("%1 was not written: a picture is saved as .png or .svg.").arg(name));
    TrendRequest what = plot_->request();
    what.title = source.fileName();
    const QByteArray bytes = render_picture(*format, plot_->size(), file_->recording(), what, plot_->font());
    if (bytes.isEmpty()) return tell(QStringLiteral("%1 was not written: the picture could not be made.").arg(name));
    if (const auto why = write_file_atomically(name, bytes))
        tell(QStringLiteral("%1 was not written:\n%2").arg(name, *why));
}

void TrendWindow::export_range_csv() {
    const QFileInfo source(file_->path());
    const QString name = ask_save_name(QStringLiteral("-range.csv"), QStringLiteral("CSV files (*.csv)"), QStringLiteral("csv"));
    if (name.isEmpty()) return;
    if (QFileInfo(name).absoluteFilePath() == source.absoluteFilePath())
        return tell(QStringLiteral("%1 is the recording itself; choose another name.").arg(name));
    QByteArray bytes;
    const Span s = plot_->span();
    if (const auto why = file_->export_csv(s.t0, s.t1, bytes))
        return tell(QStringLiteral("%1 was not written: the recording cannot be read again:\n%2").arg(name, *why));
    if (const auto why = write_file_atomically(name, bytes))
        tell(QStringLiteral("%1 was not written:\n%2").arg(name, *why));
}

} // namespace tessaro::trend
