// The Ports window: every serial device by its stable name, its port number, whether it opens,
// whether a meter answers on it, and "Use as port N".
#pragma once

#include "platform/port_list.h"

#include <QByteArray>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tessaro {

class PortProbe;

class PortsWindow : public QDialog {
    Q_OBJECT
public:
    // What the main window's link holds: its device (never opened here) and its connection text.
    struct LinkView {
        QString device;
        QString status;
    };
    using LinkSource = std::function<LinkView()>;

    explicit PortsWindow(LinkSource link, QWidget* parent = nullptr);
    ~PortsWindow() override;

    const std::vector<PortEntry>& entries() const { return entries_; }

public slots:
    void refresh();
    void probe();
    // "Use as port N" for the selected row: refused for what is no serial port; asks before port N
    // is taken from another device.
    void useSelected();
    // Shows the link's device and state again when they changed (the link opened another device).
    void followLink();

signals:
    // The port map link of port n now names another device.
    void portChosen(int n);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fillTable();
    void updateUseButton();
    void pollDevices();
    void probeDone();
    void offerNumber();
    bool refuseNotSerial(const PortEntry& entry, int n);

    LinkSource link_;
    std::vector<PortEntry> entries_;
    std::vector<PortProbe*> probes_;
    QByteArray signature_;
    QString link_device_;     // the link's device when the states were checked
    QString link_status_;     // the link's connection text when the table was filled
    QString numbered_device_; // the device whose numbers the number box last offered
    bool filling_ = false;    // the table is being filled: its selection signals are no choice
    QTimer poll_;
    QTableWidget* table_;
    QPushButton* probe_button_;
    QPushButton* use_button_;
    QSpinBox* number_;
    QLabel* message_;
};

} // namespace tessaro
