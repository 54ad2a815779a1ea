// What the subcommands of tessaro-cli share: exit statuses, messages, the port options, quit signals.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

#include <functional>
#include <optional>

class QCoreApplication;

namespace tessaro {

class MSComm;

namespace cli {

// The exit statuses of every subcommand.
enum Exit : int {
    kSuccess = 0,
    kUsage = 1,   // a bad command line
    kFailure = 2, // no port, no permission, no meter, a link that failed, an output that failed, interrupted
    kAlarm = 3,   // monitor --exit-on-alarm: a reading reached the threshold
};

// "tessaro-cli download: reason" on stderr, one line.
void complain(const QString& command, const QString& reason);

// Parses args for a subcommand, adding -h/--help, --version and -q/--quiet; on --help or
// --version prints it and returns kSuccess, on a bad command line prints the reason and the usage
// line and returns kUsage; nullopt to go on.
// More than `positionals` arguments that are no options make a bad command line.
std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QStringList& args,
                         int positionals = 0);
// -q: standard error is kept to errors (no progress, notices or summary).
bool quiet(const QCommandLineParser& parser);

// --port N and --device PATH.
struct PortOptions {
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Port number N (1..16), as in the program's port box."),
                            QStringLiteral("N")};
    QCommandLineOption device{QStringLiteral("device"), QStringLiteral("The serial device at PATH."),
                              QStringLiteral("PATH")};
    void addTo(QCommandLineParser& parser) const;
};

// The port chosen on the command line: exactly one of --port and --device.
struct PortChoice {
    int number = 0;  // 1..16, or 0 when a device path was given
    QString device;
};
std::optional<PortChoice> port_choice(const QCommandLineParser& parser, const PortOptions& options, QString& error);

// Opens the chosen port at 4800,n,8,1; nullopt on success, else the reason for the operator.
std::optional<QString> open_port(MSComm& port, const PortChoice& choice);

// "-" as an output file names standard output, as in common tools.
inline bool names_stdout(const QString& path) { return path == QLatin1String("-"); }
// Why FILE cannot take an output: it exists and is no regular file (a FIFO, a device, a folder, a
// link to one), and is never replaced or opened. nullopt when it may be written.
std::optional<QString> output_refusal(const QString& path);

// A whole number in [low, high] from an option's text; nullopt when it is none.
std::optional<long long> whole_number(const QString& text, long long low, long long high);

// The longest --duration: ten years.
inline constexpr std::chrono::milliseconds kLongestDuration{10LL * 365 * 24 * 3600 * 1000};
// A --duration: seconds with an optional fraction ("90", "1.5") or a number with a unit ("500ms",
// "10s", "15m" or "15min", "2h", "7d"); nullopt for anything else and outside 1 ms .. ten years.
std::optional<std::chrono::milliseconds> parse_duration(const QString& text);

// Calls on_end once when span has passed, however long: a single QTimer counts in int
// milliseconds, so a span above 24 days would end at once or never.
class Deadline : public QObject {
public:
    Deadline(std::chrono::milliseconds span, std::function<void()> on_end, QObject* parent = nullptr);

private:
    void arm();
    std::chrono::steady_clock::time_point end_;
    std::function<void()> on_end_;
    QTimer timer_;
};

// What became of a write to standard output.
enum class Written {
    Yes,
    ReaderGone, // the pipe's reader has closed it (head -n 3): the program ends quietly, status 0
    Failed,     // errno tells why
};
Written write_stdout(const QByteArray& bytes);

// CR LF line ends made LF (--lf, for tools that take LF lines from a pipe).
QByteArray lf_lines(QByteArray text);

// SIGINT, SIGTERM and SIGHUP run on_quit on the event loop (once), so that every file is
// finished before the program ends. True once installed.
bool catch_quit_signals(QCoreApplication& app, std::function<void()> on_quit);
// Whether a quit signal has arrived.
bool quit_requested();

} // namespace cli
} // namespace tessaro
