// tessaro-meter-sim: plays the meter on a pseudo-terminal linked at a path of the caller's choice.
#include "meter_sim.h"
#include "meter_sim_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signal_fd = -1;

void onSignal(int) {
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_fd, &b, 1);
}

// SIGINT and SIGTERM end the event loop through a socket, so that the link is removed on the way out.
bool catchQuitSignals(QCoreApplication& app) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    g_signal_fd = fds[0];
    auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, notifier] {
        notifier->setEnabled(false);
        app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaro-meter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the clamp meter on a pseudo-terminal and links PATH to it, until SIGINT or SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    tessaro::addMeterSimOptions(parser);
    const QCommandLineOption exit_after(QStringLiteral("exit-after"),
                                        QStringLiteral("Exit after this many seconds."),
                                        QStringLiteral("seconds"));
    parser.addOption(exit_after);
    parser.process(app);

    tessaro::MeterSimOptions options;
    QString error;
    if (!tessaro::readMeterSimOptions(parser, options, error)) {
        std::fprintf(stderr, "tessaro-meter-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(exit_after)) {
        bool ok = false;
        const double s = parser.value(exit_after).toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0 || s > 7 * 24 * 3600.0) {
            std::fprintf(stderr, "tessaro-meter-sim: --exit-after: expected seconds, got \"%s\"\n",
                         qPrintable(parser.value(exit_after)));
            return 2;
        }
        QTimer::singleShot(static_cast<int>(std::llround(s * 1000)), &app, &QCoreApplication::quit);
    }
    if (!catchQuitSignals(app)) {
        std::perror("tessaro-meter-sim: cannot catch SIGINT and SIGTERM");
        return 1;
    }

    tessaro::MeterSim sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "tessaro-meter-sim: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

    const int rc = app.exec();
    sim.stop();
    return rc;
}
