#include "cli_common.h"

#include "link/mscomm.h"
#include "link/port_choice.h"
#include "platform/port_list.h"
#include "platform/port_lock.h"
#include "platform/safe_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::cli {
namespace {

int g_signal_fd = -1;
std::atomic<bool> g_quit{false};

void on_quit_signal(int) {
    g_quit = true;
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_fd, &b, 1);
}

QString open_failure_reason(const MSComm& port, const QString& name) {
    // The same words as the Ports window's list.
    switch (port.lastOpenFailure()) {
    case OpenFailure::NoSuchPort: return QStringLiteral("no such port: %1").arg(name);
    case OpenFailure::PermissionDenied: return name + ": " + access_text(PortAccess::PermissionDenied);
    case OpenFailure::Busy: {
        // The program holding it, when its lock names one that still runs.
        PortEntry held;
        held.access = PortAccess::Busy;
        if (const DeviceLock lock = read_device_lock(QFileInfo(port.devicePath()).canonicalFilePath()); lock.holder)
            held.holder = holder_text(*lock.holder);
        else if (brltty_running())
            held.access = PortAccess::Brltty;
        return name + ": " + access_text(held);
    }
    case OpenFailure::NotSerial: return name + ": " + access_text(PortAccess::NotSerial);
    case OpenFailure::None:
    case OpenFailure::Other: break;
    }
    return QStringLiteral("cannot open %1").arg(name);
}

} // namespace

void complain(const QString& command, const QString& reason) {
    std::fprintf(stderr, "tessaro-cli %s: %s\n", qPrintable(command), qPrintable(reason));
    std::fflush(stderr);
}

std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QStringList& args, int positionals) {
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Standard error only for errors."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(quiet);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    QStringList full = args;
    full.prepend(QStringLiteral("tessaro-cli ") + command);
    if (!parser.parse(full)) {
        complain(command, parser.errorText());
        std::fprintf(stderr, "Try 'tessaro-cli %s --help'.\n", qPrintable(command));
        return kUsage;
    }
    if (parser.isSet(help)) {
        // The parser names the program by its path; the usage line names the command.
        QString text = parser.helpText();
        text.replace(0, text.indexOf('\n'), QStringLiteral("Usage: tessaro-cli %1 [options]").arg(command));
        std::fputs(qPrintable(text), stdout);
        std::fflush(stdout);
        return kSuccess;
    }
    if (parser.isSet(version)) {
        std::printf("tessaro-cli %s\n", TESSARO_VERSION);
        std::fflush(stdout);
        return kSuccess;
    }
    if (parser.positionalArguments().size() > positionals) {
        complain(command, QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().value(positionals)));
        std::fprintf(stderr, "Try 'tessaro-cli %s --help'.\n", qPrintable(command));
        return kUsage;
    }
    return std::nullopt;
}

bool quiet(const QCommandLineParser& parser) { return parser.isSet(QStringLiteral("quiet")); }

void PortOptions::addTo(QCommandLineParser& parser) const {
    parser.addOption(port);
    parser.addOption(device);
}

std::optional<PortChoice> port_choice(const QCommandLineParser& parser, const PortOptions& options, QString& error) {
    const bool by_number = parser.isSet(options.port);
    const bool by_device = parser.isSet(options.device);
    if (by_number == by_device) {
        error = QStringLiteral("give either --port N or --device PATH");
        return std::nullopt;
    }
    PortChoice choice;
    if (by_device) {
        choice.device = parser.value(options.device);
        if (choice.device.isEmpty()) {
            error = QStringLiteral("--device: the path is empty");
            return std::nullopt;
        }
        return choice;
    }
    const auto n = port_number(parser.value(options.port));
    if (!n) {
        error = QStringLiteral("--port: expected a port number from 1 to 16, got \"%1\"").arg(parser.value(options.port));
        return std::nullopt;
    }
    choice.number = *n;
    return choice;
}

std::optional<QString> open_port(MSComm& port, const PortChoice& choice) {
    if (choice.number > 0) port.setCommPort(choice.number);
    else port.setDevicePath(choice.device);
    port.setSettings(QStringLiteral("4800,n,8,1"));
    if (port.setPortOpen(true) == 0) return std::nullopt;
    if (choice.number > 0 && port.devicePath().isEmpty())
        return QStringLiteral("no device for port %1 (no port map link, and fewer serial ports)").arg(choice.number);
    return open_failure_reason(port, choice.number > 0 ? QStringLiteral("port %1 (%2)").arg(choice.number).arg(port.devicePath())
                                                       : choice.device);
}

std::optional<QString> output_refusal(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return std::nullopt;
    return not_regular_file_text();
}

std::optional<long long> whole_number(const QString& text, long long low, long long high) {
    bool ok = false;
    const long long v = text.trimmed().toLongLong(&ok);
    if (!ok || v < low || v > high) return std::nullopt;
    return v;
}

std::optional<std::chrono::milliseconds> parse_duration(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+(?:\\.\\d*)?|\\.\\d+)\\s*(ms|s|min|m|h|d)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    const double number = m.captured(1).toDouble(&ok);
    if (!ok) return std::nullopt;
    const QString unit = m.captured(2);
    const double per_unit = unit == QLatin1String("ms")    ? 1.0
                            : unit == QLatin1String("m") || unit == QLatin1String("min") ? 60e3
                            : unit == QLatin1String("h")   ? 3600e3
                            : unit == QLatin1String("d")   ? 86400e3
                                                           : 1e3;
    const double ms = std::nearbyint(number * per_unit);
    // Compared as doubles first: a huge figure never reaches the conversion to a whole number.
    if (!(ms >= 1.0) || ms > static_cast<double>(kLongestDuration.count())) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(ms));
}

Deadline::Deadline(std::chrono::milliseconds span, std::function<void()> on_end, QObject* parent)
    : QObject(parent), end_(std::chrono::steady_clock::now() + span), on_end_(std::move(on_end)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Deadline::arm);
    arm();
}

void Deadline::arm() {
    // At most a day a step: far below the timer's limit of 24.8 days.
    constexpr std::chrono::milliseconds kStep{24LL * 3600 * 1000};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero()) {
        on_end_();
        return;
    }
    timer_.start(std::min(left, kStep));
}

Written write_stdout(const QByteArray& bytes) {
    if (write_fully(STDOUT_FILENO, bytes.constData(), bytes.size())) return Written::Yes;
    return errno == EPIPE ? Written::ReaderGone : Written::Failed;
}

QByteArray lf_lines(QByteArray text) { return text.replace("\r\n", "\n"); }

bool catch_quit_signals(QCoreApplication& app, std::function<void()> on_quit) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    g_signal_fd = fds[0];
    auto* notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier, on_quit] {
        notifier->setEnabled(false);
        on_quit();
    });
    struct sigaction sa {};
    sa.sa_handler = on_quit_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0 &&
           ::sigaction(SIGHUP, &sa, nullptr) == 0;
}

bool quit_requested() { return g_quit; }

} // namespace tessaro::cli
