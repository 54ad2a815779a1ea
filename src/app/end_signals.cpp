// SIGTERM, SIGINT and SIGHUP delivered as a Qt signal on the event loop (the self-pipe pattern).
#include "end_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tessaro {

namespace {

constexpr std::array<int, 3> kEndSignals = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; the handler only writes the signal number, which is async-signal-safe.
int g_pipe[2] = {-1, -1};

extern "C" void on_end_signal(int signal_number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1); // a full pipe already holds a signal
    errno = saved;
}

void set_handler(int signal_number, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal_number, &action, nullptr);
}

} // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] != -1 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::drain);
    for (int s : kEndSignals) set_handler(s, on_end_signal);
}

EndSignals::~EndSignals() {
    if (!notifier_) return;
    for (int s : kEndSignals) set_handler(s, SIG_DFL);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void EndSignals::drain() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        // The program is ending now: the next such signal ends it at once if the exit hangs.
        set_handler(byte, SIG_DFL);
        emit received(byte);
    }
}

} // namespace tessaro
