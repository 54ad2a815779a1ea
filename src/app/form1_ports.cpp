// File, "Ports…": the Ports window beside the main window, and the port box following its choice.
#include "app/form1.h"

#include "app/ports_window.h"
#include "link/mscomm.h"

#include <QComboBox>
#include <QTimer>
#include <QLineEdit>

namespace tessaro {

void Form1::show_ports_window() {
    if (!ports_window) {
        auto link = [this] {
            return PortsWindow::LinkView{MSComm1->PortOpen() ? MSComm1->devicePath() : QString(), Text40->text()};
        };
        ports_window = new PortsWindow(link, this);
        ports_window->setWindowFlag(Qt::Window);
        // The supervisor opens and closes the link on its tick: the window shows it the same tick.
        connect(Timer3, &QTimer::timeout, ports_window, &PortsWindow::followLink);
        connect(ports_window, &PortsWindow::portChosen, this, [this](int n) {
            // The same number now names another device: the supervisor opens it afresh.
            if (MSComm1->PortOpen() && MSComm1->CommPort() == n) MSComm1->setPortOpen(false);
            Combo1->setCurrentIndex(n - 1);
        });
    } else {
        ports_window->refresh();
    }
    ports_window->show();
    ports_window->raise();
    ports_window->activateWindow();
}

} // namespace tessaro
