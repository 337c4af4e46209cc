#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/RunOptions.h"

namespace zelmo::app {

struct CommandLine {
    RunOptions options;
    bool show_help = false;
    std::string error;  // empty when the arguments were understood
};

// Reads the arguments after the program name. `xdg_data_home` and `home` are the values
// of those environment variables (empty when unset); they give the default data root.
CommandLine ParseCommandLine(const std::vector<std::string_view>& args,
                             std::string_view xdg_data_home, std::string_view home);

std::string UsageText();

}  // namespace zelmo::app
