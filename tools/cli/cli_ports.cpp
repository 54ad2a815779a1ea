// tessaro-cli ports: the serial devices as the Ports window lists them, one line (or JSON object) each.
#include "cli_commands.h"
#include "cli_common.h"

#include "link/port_probe.h"
#include "platform/port_list.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>
#include <memory>

namespace tessaro::cli {

int run_ports(QCoreApplication& app, const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists every serial device: its stable name, the port numbers that reach it, whether it can be\n"
        "opened, and with --probe whether a meter answers on it. One line a device, fields separated by\n"
        "tabs: name, port numbers, state, [probe,] USB maker / product / serial number."));
    const QCommandLineOption probe(QStringLiteral("probe"), QStringLiteral("Ask each free device whether a meter answers."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("One JSON object a line instead."));
    parser.addOption(probe);
    parser.addOption(json);
    if (const auto status = parse(parser, QStringLiteral("ports"), args)) return *status;

    std::vector<PortEntry> entries = list_serial_ports();
    if (parser.isSet(probe)) {
        // All devices at once: the round takes as long as the slowest one.
        std::vector<std::unique_ptr<PortProbe>> probes;
        for (const PortEntry& e : entries) {
            if (e.access != PortAccess::Free) continue; // a held device is never opened a second time
            probes.push_back(std::make_unique<PortProbe>(e.device));
        }
        int left = static_cast<int>(probes.size());
        QEventLoop loop;
        for (auto& p : probes) {
            QObject::connect(p.get(), &PortProbe::finished, &loop, [&] {
                if (--left == 0) loop.quit();
            });
        }
        for (auto& p : probes) p->start();
        bool interrupted = false;
        catch_quit_signals(app, [&] {
            interrupted = true;
            loop.quit();
        });
        if (left > 0) loop.exec();
        if (interrupted) {
            complain(QStringLiteral("ports"), QStringLiteral("interrupted"));
            return kFailure;
        }
        for (PortEntry& e : entries) {
            for (const auto& p : probes) {
                if (p->device() == e.device) e.probe = p->result();
            }
        }
    }
    QByteArray text;
    for (const PortEntry& e : entries) text += (parser.isSet(json) ? port_json(e) : port_line(e).toUtf8()) + '\n';
    if (write_stdout(text) == Written::Failed) {
        complain(QStringLiteral("ports"), QStringLiteral("cannot write the list"));
        return kFailure;
    }
    return kSuccess; // also when the reader has gone: it took what it wanted
}

} // namespace tessaro::cli
