#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/RunOptions.h"

namespace zelmo::app {

struct CommandLine {
    RunOptions options;
    bool show_help = false;
    bool show_version = false;
    std::string error;  // empty when the arguments were understood
};

// Reads the arguments after the program name. `xdg_data_home` and `home` are the values
// of those environment variables (empty when unset); they give the default data root.
CommandLine ParseCommandLine(const std::vector<std::string_view>& args,
                             std::string_view xdg_data_home, std::string_view home);

std::string UsageText();

// The desktop program's own files, outside the accounts' folders, where XDG puts them;
// arguments are the environment's values (empty when unset). Empty without either.
// The event log: $XDG_STATE_HOME/zelmo/zelmo.log, else ~/.local/state/zelmo/zelmo.log.
std::string EventLogFile(std::string_view xdg_state_home, std::string_view home);
// Window sizes and places: $XDG_CONFIG_HOME/zelmo/windows.ini, else ~/.config/zelmo/....
std::string WindowPlacesFile(std::string_view xdg_config_home, std::string_view home);

// One argument split as "--name=value"; any other argument is a name without a value.
struct OptionArg {
    std::string_view name;
    std::string_view value;
    bool has_value = false;
};
OptionArg SplitOptionArg(std::string_view arg);

}  // namespace zelmo::app
