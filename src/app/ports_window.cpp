#include "ports_window.h"

#include "link/port_probe.h"
#include "platform/paths.h"
#include "platform/safe_file.h"
#include "platform/serial_device_map.h"
#include "platform/user_seam.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <chrono>

namespace tessaro {
namespace {

// Devices come and go (a replug, udev renaming): the cheap fingerprint is compared this often
// while the window is open; only a change opens devices again to check them.
constexpr std::chrono::milliseconds kDevicePoll{1000};

enum Column { ColDevice, ColPort, ColState, ColMeter, ColMaker, ColProduct, ColSerial, ColCount };

// Whether a device of this state may become a port: not a link to nothing, nor a file or device
// that is no terminal (a port linked to /dev/null loses its meter).
bool usable(PortAccess access) { return access != PortAccess::Missing && access != PortAccess::NotSerial; }

} // namespace

PortsWindow::PortsWindow(LinkSource link, QWidget* parent)
    : QDialog(parent), link_(std::move(link)), table_(new QTableWidget(this)),
      probe_button_(new QPushButton(QStringLiteral("Probe"), this)),
      use_button_(new QPushButton(this)), number_(new QSpinBox(this)), message_(new QLabel(this)) {
    setObjectName("PortsWindow");
    setWindowTitle(QStringLiteral("Ports"));
    table_->setObjectName("portsTable");
    table_->setColumnCount(ColCount);
    table_->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Port"), QStringLiteral("State"),
                                       QStringLiteral("Meter"), QStringLiteral("Maker"), QStringLiteral("Product"),
                                       QStringLiteral("Serial number")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);

    probe_button_->setObjectName("probeButton");
    auto* refresh_button = new QPushButton(QStringLiteral("Refresh"), this);
    refresh_button->setObjectName("refreshButton");
    number_->setObjectName("portNumber");
    number_->setRange(1, 16);
    number_->setAccessibleName(QStringLiteral("Port number"));
    use_button_->setObjectName("useButton");
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    message_->setObjectName("portsMessage");
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh_button);
    buttons->addWidget(probe_button_);
    buttons->addStretch();
    buttons->addWidget(number_);
    buttons->addWidget(use_button_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    resize(860, 320);

    connect(refresh_button, &QPushButton::clicked, this, &PortsWindow::refresh);
    connect(probe_button_, &QPushButton::clicked, this, &PortsWindow::probe);
    connect(use_button_, &QPushButton::clicked, this, &PortsWindow::useSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(number_, &QSpinBox::valueChanged, this, &PortsWindow::updateUseButton);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &PortsWindow::updateUseButton);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &PortsWindow::offerNumber);
    poll_.setInterval(kDevicePoll);
    connect(&poll_, &QTimer::timeout, this, &PortsWindow::pollDevices);
    refresh();
}

// Devices are followed only while the window is on screen.
void PortsWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    poll_.start();
}

void PortsWindow::hideEvent(QHideEvent* event) {
    poll_.stop();
    QDialog::hideEvent(event);
}

PortsWindow::~PortsWindow() = default;

// The number box offers the number the selected device already has, once when the operator picks
// the device: a refresh of the list selects the same device again and leaves the number chosen.
void PortsWindow::offerNumber() {
    if (filling_) return;
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const PortEntry& e = entries_[row];
    if (e.stable == numbered_device_) return;
    numbered_device_ = e.stable;
    if (!e.numbers.isEmpty()) number_->setValue(e.numbers.front());
}

void PortsWindow::refresh() {
    signature_ = serial_ports_signature();
    const LinkView link = link_ ? link_() : LinkView{};
    link_device_ = link.device;
    std::vector<PortEntry> fresh = list_serial_ports(link.device);
    // Probe results stay with their device until the next probe.
    for (PortEntry& e : fresh) {
        for (const PortEntry& old : entries_) {
            if (old.device == e.device) e.probe = old.probe;
        }
    }
    entries_ = std::move(fresh);
    fillTable();
}

void PortsWindow::pollDevices() {
    if (serial_ports_signature() != signature_)
        refresh();
    else
        followLink();
}

void PortsWindow::followLink() {
    if (!isVisible()) return;
    const LinkView link = link_ ? link_() : LinkView{};
    // Another device in use changes two rows' states: the list is checked again.
    if (link.device != link_device_)
        refresh();
    else if (link.status != link_status_)
        fillTable();
}

void PortsWindow::fillTable() {
    const QString selected = table_->currentRow() >= 0 && table_->item(table_->currentRow(), ColDevice)
                                 ? table_->item(table_->currentRow(), ColDevice)->text()
                                 : QString();
    const LinkView link = link_ ? link_() : LinkView{};
    link_status_ = link.status;
    filling_ = true;
    table_->setRowCount(static_cast<int>(entries_.size()));
    for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
        const PortEntry& e = entries_[row];
        QString meter = probe_text(e.probe);
        if (e.access == PortAccess::InUse) meter = link.status;
        const QString texts[ColCount] = {e.stable,        numbers_text(e.numbers), access_text(e), meter,
                                         e.manufacturer,  e.product,               e.serial_number};
        for (int c = 0; c < ColCount; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setToolTip(c == ColDevice && e.stable != e.device ? e.device : texts[c]);
            table_->setItem(row, c, item);
        }
        if (e.stable == selected) table_->selectRow(row);
    }
    filling_ = false;
    table_->resizeColumnsToContents();
    if (entries_.empty()) message_->setText(QStringLiteral("No serial device found."));
    updateUseButton();
}

void PortsWindow::updateUseButton() {
    use_button_->setText(QStringLiteral("Use as port %1").arg(number_->value()));
    const int row = table_->currentRow();
    use_button_->setEnabled(row >= 0 && row < static_cast<int>(entries_.size()) && usable(entries_[row].access));
}

void PortsWindow::probe() {
    if (!probes_.empty()) return; // one round at a time
    for (PortEntry& e : entries_) {
        // A held device is never opened a second time (the link's own shows the link's state).
        if (e.access != PortAccess::Free) continue;
        auto* p = new PortProbe(e.device, this);
        probes_.push_back(p);
        connect(p, &PortProbe::finished, this, &PortsWindow::probeDone);
    }
    if (probes_.empty()) return;
    probe_button_->setEnabled(false);
    message_->setText(QStringLiteral("Probing…"));
    // Started after all are made: a probe that fails at once reports on a complete list.
    const std::vector<PortProbe*> started = probes_;
    for (PortProbe* p : started) p->start();
}

void PortsWindow::probeDone() {
    for (const PortProbe* p : probes_) {
        if (!p->done()) return;
    }
    int meters = 0;
    for (PortProbe* p : probes_) {
        for (PortEntry& e : entries_) {
            if (e.device == p->device()) e.probe = p->result();
        }
        meters += p->result() == ProbeResult::Meter;
        p->deleteLater();
    }
    probes_.clear();
    probe_button_->setEnabled(true);
    message_->setText(meters == 0 ? QStringLiteral("No meter answered.")
                                  : QStringLiteral("%1 device(s) with a meter answering.").arg(meters));
    fillTable();
}

bool PortsWindow::refuseNotSerial(const PortEntry& e, int n) {
    // Looked at again: the list may be a second old, and the device replaced since.
    if (usable(e.access) && (e.access == PortAccess::InUse || usable(check_port_access(e.device)))) return false;
    message_->setText(QStringLiteral("%1 is not a serial port: port %2 is left as it was.").arg(e.stable).arg(n));
    return true;
}

void PortsWindow::useSelected() {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const int n = number_->value();
    // A copy: the question below lets the list refresh.
    const PortEntry e = entries_[row];
    if (refuseNotSerial(e, n)) return;
    const QString reached = QFileInfo(resolve_serial_port(n)).canonicalFilePath();
    if (!reached.isEmpty() && reached != e.device) {
        MessageRequest question;
        question.title = QStringLiteral("System prompt");
        question.text = QStringLiteral("Port %1 leads to %2 now. Make it lead to %3 instead?")
                            .arg(n)
                            .arg(stable_device_path(reached), e.stable);
        question.yes_no = true;
        question.default_no = true;
        question.icon = MessageIcon::Question;
        if (user_seam().message(this, question) != Answer::Yes) return;
    }
    const QString link = paths::port_map_entry(n);
    // The folder of the links is made on first use.
    QDir().mkpath(QFileInfo(link).absolutePath());
    if (const auto failure = replace_symlink_atomically(link, e.stable)) {
        message_->setText(QStringLiteral("Port %1 could not be set: %2").arg(n).arg(*failure));
        return;
    }
    message_->setText(QStringLiteral("Port %1 is now %2.").arg(n).arg(e.stable));
    emit portChosen(n);
    refresh();
}

} // namespace tessaro
