#include "app/CommandLine.h"

namespace zelmo::app {

namespace {

std::string DefaultDataRoot(std::string_view xdg_data_home, std::string_view home) {
    // XDG says a relative value is to be ignored.
    if (!xdg_data_home.empty() && xdg_data_home.front() == '/') {
        return std::string(xdg_data_home) + "/zelmo";
    }
    if (!home.empty()) {
        return std::string(home) + "/.local/share/zelmo";
    }
    return ".";
}

// XDG says a relative value is to be ignored.
std::string XdgFile(std::string_view xdg_home, std::string_view home,
                    std::string_view home_fallback, std::string_view name) {
    if (!xdg_home.empty() && xdg_home.front() == '/') {
        return std::string(xdg_home) + "/zelmo/" + std::string(name);
    }
    if (!home.empty()) {
        return std::string(home) + "/" + std::string(home_fallback) + "/zelmo/" + std::string(name);
    }
    return {};
}

}  // namespace

std::string EventLogFile(std::string_view xdg_state_home, std::string_view home) {
    return XdgFile(xdg_state_home, home, ".local/state", "zelmo.log");
}

std::string WindowPlacesFile(std::string_view xdg_config_home, std::string_view home) {
    return XdgFile(xdg_config_home, home, ".config", "windows.ini");
}

OptionArg SplitOptionArg(std::string_view arg) {
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        return {arg.substr(0, eq), arg.substr(eq + 1), true};
    }
    return {arg, {}, false};
}

CommandLine ParseCommandLine(const std::vector<std::string_view>& args,
                             std::string_view xdg_data_home, std::string_view home) {
    CommandLine result;
    bool data_root_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.show_help = true;
            continue;
        }
        if (arg == "--version") {
            result.show_version = true;
            continue;
        }
        auto [name, value, has_value] = SplitOptionArg(arg);
        if (name != "--data-dir" && name != "--service" && name != "--auto-answer") {
            result.error = "unknown argument: " + std::string(arg);
            return result;
        }
        if (!has_value) {
            if (i + 1 >= args.size()) {
                result.error = std::string(name) + " needs a value";
                return result;
            }
            value = args[++i];
        }
        if (value.empty()) {
            result.error = std::string(name) + " needs a value";
            return result;
        }
        if (name == "--data-dir") {
            result.options.data_root = std::string(value);
            data_root_given = true;
        } else if (name == "--service") {
            result.options.service_file = std::string(value);
        } else if (value == "yes" || value == "no") {
            result.options.auto_answer = value == "yes" ? AutoAnswer::Yes : AutoAnswer::No;
        } else {
            result.error = "--auto-answer takes yes or no";
            return result;
        }
    }
    if (!data_root_given) {
        result.options.data_root = DefaultDataRoot(xdg_data_home, home);
    }
    return result;
}

std::string UsageText() {
    return "Usage: zelmo [--data-dir DIR] [--service FILE] [--auto-answer yes|no] [--version]\n"
           "             [--help]\n"
           "\n"
           "  --data-dir DIR        run directory holding one folder per account\n"
           "                        (default: $XDG_DATA_HOME/zelmo or ~/.local/share/zelmo)\n"
           "  --service FILE        service profile (INI, section [service]) naming the hosts;\n"
           "                        default: the real service\n"
           "  --auto-answer yes|no  answer every message box at once (questions with Yes or\n"
           "                        No) and write it to standard error as \"title: text\"\n"
           "                        (default: the boxes wait for the user)\n"
           "  --version             print the version and end\n"
           "  --help                show this text\n";
}

}  // namespace zelmo::app
