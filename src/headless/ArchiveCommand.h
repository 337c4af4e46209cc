#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::headless {

// `zelmo-headless [--data-dir D] [--uin UIN] search TEXT ...` and `... export ...`: reading
// the account's archive from the command line, without a login and beside a running robot.
struct ArchiveCommand {
    enum class Kind { None, Search, Export };
    Kind kind = Kind::None;  // None: the arguments run the robot
    std::string data_root;
    std::string uin;   // empty: the only account folder that has a database
    std::string text;  // search
    std::string chat;  // a chat's key or part of its name; empty: every chat
    std::int64_t since_ms = 0;
    int limit = 200;
    bool json = false;  // search: one JSON object per line
    enum class Format { Csv, Json };
    Format format = Format::Csv;  // export
    bool show_help = false;
    std::string error;  // empty when the arguments were understood
};

// Exit codes of the two commands.
inline constexpr int ARCHIVE_ROWS = 0;         // rows printed (export: always, even none)
inline constexpr int ARCHIVE_NO_ROWS = 1;      // nothing matched, or the output failed
inline constexpr int ARCHIVE_USAGE = 2;        // wrong arguments, or several accounts
inline constexpr int ARCHIVE_NO_DATABASE = 3;  // no database (none is created), or unreadable

// Finds a search or export command among the arguments after the program name; kind None
// when there is none. `xdg_data_home` and `home` give the default data root.
ArchiveCommand ParseArchiveCommand(const std::vector<std::string_view>& args,
                                   std::string_view xdg_data_home, std::string_view home);

// Runs the command: rows to `out`, problems to `err` (each a line). Its exit code.
int RunArchiveCommand(const ArchiveCommand& command,
                      const std::function<bool(std::string_view)>& out,
                      const std::function<void(std::string_view)>& err);

// The two commands' lines of the usage text, and what they do.
std::string ArchiveSynopsis();
std::string ArchiveHelpText();

// The database of the account to read: <data root>/<uin>/zelmo.db, or without a Uin the
// only account folder that has one. Empty, with a line in `problem` and the exit code in
// `exit_code`, when there is none or there are several.
std::string FindArchive(std::string_view data_root, std::string_view uin, std::string* problem,
                        int* exit_code);

}  // namespace zelmo::headless
