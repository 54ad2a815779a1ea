// The subcommands of tessaro-cli; each takes the arguments after its name and returns the exit status.
#pragma once

#include <QStringList>

class QCoreApplication;

namespace tessaro::cli {

int run_ports(QCoreApplication& app, const QStringList& args);
int run_download(QCoreApplication& app, const QStringList& args);
int run_monitor(QCoreApplication& app, const QStringList& args);
// plot draws with a GUI application of its own (offscreen), so it takes the whole command line; it
// loads the plotting module (plot_module.cpp).
int run_plot(int argc, char** argv);

} // namespace tessaro::cli
