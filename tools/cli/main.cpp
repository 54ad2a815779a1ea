// tessaro-cli: lists the serial ports, downloads the meter's records, logs its live readings and
// plots recordings, without a display.
#include "cli_commands.h"
#include "cli_common.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kOverview =
    "Usage: tessaro-cli COMMAND [OPTIONS]\n"
    "\n"
    "Talks to the clamp meter from scripts and terminals, no display needed.\n"
    "\n"
    "Commands:\n"
    "  ports [--probe] [--json]        list the serial devices, their port numbers and state\n"
    "  download (--port N | --device PATH) [-o FILE|-] [--json] [--lf]\n"
    "                                  the meter's records as CSV or JSON lines\n"
    "  monitor (--port N | --device PATH) [--interval MS] [--duration TIME] [--samples N]\n"
    "          [-o FILE|-] [--json] [--lf] [--threshold VALUE[mA|A] [--exit-on-alarm]]\n"
    "                                  live readings as CSV lines or JSON lines\n"
    "  plot FILE -o OUT.png|OUT.svg [--from TIME] [--to TIME] [--size WxH]\n"
    "                                  a recording's trend as a picture\n"
    "\n"
    "Every command takes --help, --version and -q (standard error only for errors).\n"
    "'tessaro-cli COMMAND --help' describes a command; each has a man page (tessaro-cli-ports(1), ...).\n"
    "\n"
    "Exit status: 0 success (also when the reader of a pipe has gone), 1 a bad command line,\n"
    "2 a device, link or output failure, 3 monitor --exit-on-alarm saw an alarm.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "plot") == 0) return tessaro::cli::run_plot(argc, argv);
    QCoreApplication app(argc, argv);
    // Under a file size limit (ulimit -f) an output write past it fails with EFBIG and is reported
    // as an output failure (status 2) instead of the signal killing the program mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader of standard output that has gone (a pipe into head) shows as EPIPE on the write,
    // which ends the command quietly, instead of the signal killing it (status 141 to the shell).
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("tessaro-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::fputs(kOverview, stderr);
        return tessaro::cli::kUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(kOverview, stdout);
        return tessaro::cli::kSuccess;
    }
    if (command == QLatin1String("--version")) {
        std::printf("tessaro-cli %s\n", TESSARO_VERSION);
        return tessaro::cli::kSuccess;
    }
    if (command == QLatin1String("ports")) return tessaro::cli::run_ports(app, args);
    if (command == QLatin1String("download")) return tessaro::cli::run_download(app, args);
    if (command == QLatin1String("monitor")) return tessaro::cli::run_monitor(app, args);
    std::fprintf(stderr, "tessaro-cli: unknown command \"%s\"\n\n%s", qPrintable(command), kOverview);
    return tessaro::cli::kUsage;
}
