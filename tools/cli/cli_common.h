// What the subcommands of tessaro-cli share: exit statuses, messages, the port options, quit signals.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

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
};

// "tessaro-cli download: reason" on stderr, one line.
void complain(const QString& command, const QString& reason);

// Parses args for a subcommand; on --help prints the help and returns kSuccess, on a bad
// command line prints the reason and the usage line and returns kUsage; nullopt to go on.
// More than `positionals` arguments that are no options make a bad command line.
std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QStringList& args,
                         int positionals = 0);

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

// A whole number in [low, high] from an option's text; nullopt when it is none.
std::optional<long long> whole_number(const QString& text, long long low, long long high);

// SIGINT, SIGTERM and SIGHUP run on_quit on the event loop (once), so that every file is
// finished before the program ends. True once installed.
bool catch_quit_signals(QCoreApplication& app, std::function<void()> on_quit);
// Whether a quit signal has arrived.
bool quit_requested();

} // namespace cli
} // namespace tessaro
