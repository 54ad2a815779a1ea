// The program's command line: its own options beside the ones Qt's application object takes.
#include "command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessaro {

namespace {

// Options the Qt application, its GUI layer, the widget layer and the X11 platform plugin remove
// from the command line, each written with one dash (two are accepted as well).
constexpr std::array<std::string_view, 7> kQtFlags = {
    "-reverse", "-testability", "-widgetcount", "-nograb", "-dograb", "-qdebug", "-qdevel",
};
constexpr std::array<std::string_view, 16> kQtValueOptions = {
    "-platform",   "-platformpluginpath", "-platformtheme", "-plugin",  "-qwindowgeometry", "-geometry",
    "-qwindowicon", "-icon",              "-qwindowtitle",  "-title",   "-session",         "-style",
    "-stylesheet", "-display",            "-name",          "-visual",
};
// Options that also come as "-option=value".
constexpr std::array<std::string_view, 3> kQtJoinedOptions = {"-style", "-stylesheet", "-qmljsdebugger"};

template <size_t N>
bool among(const std::array<std::string_view, N>& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

CommandLine refuse(std::string problem) { return {CommandLine::Action::Refuse, std::move(problem), {}}; }

} // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            if (i + 1 < args.size()) return refuse("unexpected argument '" + args[i + 1] + "'");
            break;
        }
        if (arg == "--help" || arg == "-h") {
            line.action = CommandLine::Action::Help;
            continue;
        }
        if (arg == "--version" || arg == "-v") {
            if (line.action != CommandLine::Action::Help) line.action = CommandLine::Action::Version;
            continue;
        }
        if (arg == "--recording") {
            if (i + 1 == args.size() || args[i + 1].empty()) return refuse("option '--recording' needs a file");
            line.recording = args[++i];
            continue;
        }
        if (arg.rfind("--recording=", 0) == 0) {
            line.recording = arg.substr(12);
            if (line.recording.empty()) return refuse("option '--recording' needs a file");
            continue;
        }
        // Qt reads "--platform" as "-platform".
        std::string_view word(arg);
        if (word.size() > 2 && word.substr(0, 2) == "--") word.remove_prefix(1);
        if (word.size() < 2 || word[0] != '-') return refuse("unexpected argument '" + arg + "'");
        if (among(kQtFlags, word)) continue;
        if (among(kQtValueOptions, word)) {
            if (i + 1 == args.size()) return refuse("option '" + arg + "' needs a value");
            ++i;
            continue;
        }
        if (const auto eq = word.find('='); eq != std::string_view::npos && among(kQtJoinedOptions, word.substr(0, eq)))
            continue;
        return refuse("unknown option '" + arg + "'");
    }
    return line;
}

std::string usage_line() {
    return "Usage: tessaro [--help | --version] [--recording FILE] [Qt options such as -platform NAME, -style NAME]";
}

std::string help_text(const std::string& config_dir) {
    return usage_line() +
           "\n"
           "Tessaro talks to a current clamp meter on a serial port: live readings,\n"
           "history download, reports and printing.\n"
           "\n"
           "  -h, --help     show this help and end\n"
           "  -v, --version  show the version and end\n"
           "  --recording FILE\n"
           "                 show a live log or JSON-lines recording as a trend in a window of\n"
           "                 its own (File > Open recording... does the same)\n"
           "  Qt's own options (-platform, -style, -display, -reverse, ...) are passed to Qt;\n"
           "  \"--\" ends the options. The program takes no other file arguments.\n"
           "\n"
           "Files (in " +
           config_dir +
           "):\n"
           "  ports/comN     a symlink to the device used as port N (1..16), when present\n"
           "  myfile.txt     the port chosen last\n"
           "\n"
           "Records file (File > Export CSV..., Open CSV...), CSV columns:\n"
           "  record,time,current_a,shown,count,range_code,mark,year,month,day,hour,minute\n"
           "Live log (Realtime > Record to file..., Stop recording), CSV columns:\n"
           "  time,current_a,shown,overload,low_battery,alarm\n"
           "(the README describes both)\n";
}

} // namespace tessaro
