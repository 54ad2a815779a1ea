// The program's command line: its own options beside the ones Qt's application object takes.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    std::string problem; // why the line is refused
    std::string recording; // --recording FILE: shown in a trend window at start
};

// Decides what the arguments after the program name ask for. Qt's own options (-platform xcb,
// --style=fusion, -reverse, ...) are accepted so the application object can take them; "--" ends the
// options; anything else, and anything after "--", is refused.
CommandLine parse_command_line(const std::vector<std::string>& args);

// The one-line usage shown with a refusal and at the head of the help.
std::string usage_line();
// The help text; config_dir is the folder the program keeps its files in.
std::string help_text(const std::string& config_dir);

} // namespace tessaro
