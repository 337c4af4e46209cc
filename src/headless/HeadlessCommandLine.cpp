#include "headless/HeadlessCommandLine.h"

#include "headless/ArchiveCommand.h"

namespace zelmo::headless {

namespace {

// Options of the desktop program whose value may follow as the next argument.
bool TakesNextValue(std::string_view arg) {
    return arg == "--data-dir" || arg == "--service" || arg == "--auto-answer";
}

}  // namespace

HeadlessCommandLine ParseHeadlessCommandLine(const std::vector<std::string_view>& args,
                                             std::string_view xdg_data_home, std::string_view home,
                                             std::string_view qr_scheme_env,
                                             bool (*is_folder)(const std::string&)) {
    HeadlessCommandLine result;
    std::vector<std::string_view> common;
    std::string qr_file;
    std::string scheme_name(qr_scheme_env);
    std::string scheme_source = QR_SCHEME_VARIABLE;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (TakesNextValue(arg)) {
            // Its value goes along unread, even when it looks like one of ours.
            common.push_back(arg);
            if (i + 1 < args.size()) {
                common.push_back(args[++i]);
            }
            continue;
        }
        auto [name, value, has_value] = app::SplitOptionArg(arg);
        if (name != "--qr-file" && name != "--qr-scheme") {
            common.push_back(arg);
            continue;
        }
        if (!has_value && i + 1 < args.size()) {
            value = args[++i];
            has_value = true;
        }
        if (!has_value || value.empty()) {
            result.common.error = std::string(name) + " needs a value";
            return result;
        }
        if (name == "--qr-file") {
            qr_file = std::string(value);
        } else {
            scheme_name = std::string(value);
            scheme_source = "--qr-scheme";
        }
    }

    result.common = app::ParseCommandLine(common, xdg_data_home, home);
    if (!result.common.error.empty() || result.common.show_help || result.common.show_version) {
        return result;
    }
    if (!scheme_name.empty()) {
        const std::optional<QrScheme> scheme = ParseQrScheme(scheme_name);
        if (!scheme) {
            result.common.error = scheme_source + " takes light-on-dark or dark-on-light";
            return result;
        }
        result.qr_scheme = *scheme;
    }
    if (qr_file.empty()) {
        qr_file = result.common.options.data_root + "/" + std::string(QR_FILE_NAME);
    } else if (is_folder != nullptr && is_folder(qr_file)) {
        qr_file += "/" + std::string(QR_FILE_NAME);
    }
    result.qr_file = std::move(qr_file);
    return result;
}

std::string HeadlessUsageText() {
    return "Usage: zelmo-headless [--data-dir DIR] [--service FILE] [--auto-answer yes|no]\n"
           "                      [--qr-file PATH] [--qr-scheme light-on-dark|dark-on-light]\n"
           "                      [--version] [--help]\n" +
           ArchiveSynopsis() +
           "\n"
           "The robot without a window: every event is one time-stamped line on standard\n"
           "output, the login QR code is drawn in the terminal and written to a file.\n"
           "\n"
           "  --data-dir DIR        run directory holding one folder per account\n"
           "                        (default: $XDG_DATA_HOME/zelmo or ~/.local/share/zelmo)\n"
           "  --service FILE        service profile (INI, section [service]) naming the hosts;\n"
           "                        default: the real service\n"
           "  --auto-answer yes|no  the answer to every question; without it each question\n"
           "                        gets the answer that loses nothing (the knowledge base is\n"
           "                        saved, nothing is deleted)\n"
           "  --qr-file PATH        where each login QR image is written (a folder: qrcode.png\n"
           "                        in it; default: qrcode.png in the run directory)\n"
           "  --qr-scheme NAME      light-on-dark (default: light text on a dark terminal) or\n"
           "                        dark-on-light; the variable ZELMO_QR_SCHEME does the same\n"
           "  --version             print the version and end\n"
           "  --help                show this text\n"
           "\n"
           "Signals: SIGINT and SIGTERM log out and end the program; SIGHUP reads the\n"
           "settings, the knowledge base and the plugins again from their files.\n"
           "\n" +
           ArchiveHelpText();
}

}  // namespace zelmo::headless
