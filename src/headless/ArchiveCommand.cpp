#include "headless/ArchiveCommand.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <optional>

#include "app/CommandLine.h"
#include "store/ArchiveReader.h"
#include "store/DatabaseFile.h"
#include "store/ExportFormat.h"

namespace zelmo::headless {

namespace {

constexpr int PAGE = 200;
constexpr int MAX_LIMIT = 100000000;

bool TakesValue(std::string_view name) {
    return name == "--data-dir" || name == "--uin" || name == "--chat" || name == "--since" ||
           name == "--limit" || name == "--format" || name == "--service" ||
           name == "--auto-answer" || name == "--qr-file" || name == "--qr-scheme";
}

// Local midnight of a YYYY-MM-DD date; nothing for anything else (2024-02-30 included).
std::optional<std::int64_t> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int parts[3] = {};
    const std::string_view pieces[3] = {text.substr(0, 4), text.substr(5, 2), text.substr(8, 2)};
    for (int i = 0; i < 3; ++i) {
        const auto [end, error] =
            std::from_chars(pieces[i].data(), pieces[i].data() + pieces[i].size(), parts[i]);
        if (error != std::errc() || end != pieces[i].data() + pieces[i].size()) {
            return std::nullopt;
        }
    }
    std::tm date{};
    date.tm_year = parts[0] - 1900;
    date.tm_mon = parts[1] - 1;
    date.tm_mday = parts[2];
    date.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&date);
    // mktime carries a day 30 of February into March: such a date was not a date.
    if (seconds == -1 || date.tm_mon != parts[1] - 1 || date.tm_mday != parts[2]) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds) * 1000;
}

std::optional<int> ParseLimit(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > MAX_LIMIT) {
        return std::nullopt;
    }
    return value;
}

// The option's value (from "--name=value" or the next argument); sets `error` when missing.
std::string_view TakeValue(const std::vector<std::string_view>& args, std::size_t* i,
                           const app::OptionArg& option, std::string* error) {
    if (option.has_value) {
        if (option.value.empty()) {
            *error = std::string(option.name) + " needs a value";
        }
        return option.value;
    }
    if (*i + 1 >= args.size()) {
        *error = std::string(option.name) + " needs a value";
        return {};
    }
    return args[++*i];
}

std::string_view Arrow(store::Direction direction) {
    return direction == store::Direction::Out ? "↑" : "↓";
}

// One row as a person reads it: time, arrow, chat, sender, text; the text's further lines
// indented below it.
std::string SearchLine(const store::ArchiveRow& row) {
    std::string line = store::LocalTimeText(row.time_ms) + " " + std::string(Arrow(row.direction)) +
                       " " + row.chat_name;
    if (!row.sender_name.empty() && row.sender_name != row.chat_name) {
        line += " / " + row.sender_name;
    }
    line += ": ";
    if (row.recalled) {
        line += "(已撤回) ";
    }
    for (std::size_t pos = 0; pos < row.text.size();) {
        const std::size_t end = row.text.find('\n', pos);
        std::string_view piece = std::string_view(row.text).substr(
            pos, end == std::string::npos ? std::string::npos : end - pos);
        if (piece.ends_with('\r')) {
            piece.remove_suffix(1);
        }
        line.append(piece);
        if (end == std::string::npos) {
            break;
        }
        line += "\n    ";
        pos = end + 1;
    }
    if (!row.result.empty() && row.result != "ok") {
        line += " (未发送：" + row.result + ")";
    }
    return line + "\n";
}

int Search(store::ArchiveReader& reader, const ArchiveCommand& command,
           const std::function<bool(std::string_view)>& out,
           const std::function<void(std::string_view)>& err) {
    store::SearchQuery query;
    query.text = command.text;
    query.chat = command.chat;
    query.since_ms = command.since_ms;
    int printed = 0;
    do {
        query.limit = std::min(PAGE, command.limit - printed);
        const store::SearchPage page = reader.Search(query);
        if (!page.error.empty()) {
            err("zelmo-headless: search failed: " + page.error + "\n");
            return ARCHIVE_NO_DATABASE;
        }
        for (const store::ArchiveRow& row : page.rows) {
            if (!out(command.json ? store::JsonLine(row, false) : SearchLine(row))) {
                err("zelmo-headless: cannot write the output\n");
                return ARCHIVE_NO_ROWS;
            }
            ++printed;
        }
        query.before_id = page.next_before_id;
    } while (query.before_id != 0 && printed < command.limit);
    return printed > 0 ? ARCHIVE_ROWS : ARCHIVE_NO_ROWS;
}

int Export(store::ArchiveReader& reader, const ArchiveCommand& command,
           const std::function<bool(std::string_view)>& out,
           const std::function<void(std::string_view)>& err) {
    const bool csv = command.format == ArchiveCommand::Format::Csv;
    bool written = !csv || out(store::CsvHeader());
    const std::string error = reader.ForEachRow(command.chat, [&](const store::ArchiveRow& row) {
        written = written && out(csv ? store::CsvLine(row) : store::JsonLine(row, true));
        return written;
    });
    if (!error.empty()) {
        err("zelmo-headless: export failed: " + error + "\n");
        return ARCHIVE_NO_DATABASE;
    }
    if (!written) {
        err("zelmo-headless: cannot write the output\n");
        return ARCHIVE_NO_ROWS;
    }
    return ARCHIVE_ROWS;
}

}  // namespace

ArchiveCommand ParseArchiveCommand(const std::vector<std::string_view>& args,
                                   std::string_view xdg_data_home, std::string_view home) {
    ArchiveCommand command;
    std::size_t at = args.size();
    // The command is the first argument that is not an option or an option's value.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const app::OptionArg option = app::SplitOptionArg(args[i]);
        if (TakesValue(option.name) && !option.has_value) {
            ++i;
        } else if (!args[i].starts_with("-")) {
            at = i;
            break;
        }
    }
    if (at == args.size() || (args[at] != "search" && args[at] != "export")) {
        return command;
    }
    command.kind =
        args[at] == "search" ? ArchiveCommand::Kind::Search : ArchiveCommand::Kind::Export;
    const bool search = command.kind == ArchiveCommand::Kind::Search;
    command.data_root = app::ParseCommandLine({}, xdg_data_home, home).options.data_root;
    bool has_text = false;
    bool has_format = false;
    std::string& error = command.error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        if (i == at) {
            continue;
        }
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            command.show_help = true;
            continue;
        }
        if (search && (!arg.starts_with("-") || arg == "--") && i > at) {
            if (arg == "--") {
                if (++i >= args.size()) {
                    break;
                }
            }
            if (has_text) {
                error = "search takes one TEXT (put a text with blanks in quotes)";
                break;
            }
            command.text = std::string(args[i]);
            has_text = true;
            continue;
        }
        const app::OptionArg option = app::SplitOptionArg(arg);
        if (search && option.name == "--json" && !option.has_value) {
            command.json = true;
            continue;
        }
        const bool ours = option.name == "--data-dir" || option.name == "--uin" ||
                          option.name == "--chat" || (search && option.name == "--since") ||
                          (search && option.name == "--limit") ||
                          (!search && option.name == "--format");
        if (!ours) {
            error = "unknown argument for " + std::string(args[at]) + ": " + std::string(arg);
            break;
        }
        const std::string_view value = TakeValue(args, &i, option, &error);
        if (!error.empty()) {
            break;
        }
        if (option.name == "--data-dir") {
            command.data_root = std::string(value);
        } else if (option.name == "--uin") {
            command.uin = std::string(value);
        } else if (option.name == "--chat") {
            command.chat = std::string(value);
        } else if (option.name == "--since") {
            const std::optional<std::int64_t> since = ParseDate(value);
            if (!since) {
                error = "--since takes a date as YYYY-MM-DD";
            }
            command.since_ms = since.value_or(0);
        } else if (option.name == "--limit") {
            const std::optional<int> limit = ParseLimit(value);
            if (!limit) {
                error = "--limit takes a number from 1 to " + std::to_string(MAX_LIMIT);
            }
            command.limit = limit.value_or(0);
        } else if (value == "csv" || value == "json") {
            command.format =
                value == "csv" ? ArchiveCommand::Format::Csv : ArchiveCommand::Format::Json;
            has_format = true;
        } else {
            error = "--format takes csv or json";
        }
    }
    if (error.empty() && !command.show_help) {
        if (search && (!has_text || command.text.empty())) {
            error = "search needs a TEXT";
        } else if (!search && !has_format) {
            error = "export needs --format csv or --format json";
        } else if (command.uin.find('/') != std::string::npos || command.uin == "." ||
                   command.uin == "..") {
            error = "--uin takes an account number";
        }
    }
    return command;
}

std::string FindArchive(std::string_view data_root, std::string_view uin, std::string* problem,
                        int* exit_code) {
    namespace fs = std::filesystem;
    const std::string root(data_root);
    std::error_code code;
    if (!uin.empty()) {
        std::string path =
            root + "/" + std::string(uin) + "/" + std::string(store::DATABASE_FILE_NAME);
        if (!fs::is_regular_file(path, code)) {
            *problem = "no database: " + path;
            *exit_code = ARCHIVE_NO_DATABASE;
            return {};
        }
        return path;
    }
    std::vector<std::string> accounts;
    for (fs::directory_iterator it(root, code), end; !code && it != end; it.increment(code)) {
        std::error_code ignored;
        if (it->is_directory(ignored) &&
            fs::is_regular_file(it->path() / store::DATABASE_FILE_NAME, ignored)) {
            accounts.push_back(it->path().filename().string());
        }
    }
    std::sort(accounts.begin(), accounts.end());
    if (accounts.empty()) {
        *problem = "no database in " + root +
                   " (an account folder holds zelmo.db once the "
                   "robot has run with the archive on)";
        *exit_code = ARCHIVE_NO_DATABASE;
        return {};
    }
    if (accounts.size() > 1) {
        std::string names;
        for (const std::string& account : accounts) {
            names += (names.empty() ? "" : ", ") + account;
        }
        *problem = "several accounts in " + root + " (" + names + "): choose one with --uin";
        *exit_code = ARCHIVE_USAGE;
        return {};
    }
    return root + "/" + accounts.front() + "/" + std::string(store::DATABASE_FILE_NAME);
}

int RunArchiveCommand(const ArchiveCommand& command,
                      const std::function<bool(std::string_view)>& out,
                      const std::function<void(std::string_view)>& err) {
    std::string problem;
    int exit_code = 0;
    const std::string path = FindArchive(command.data_root, command.uin, &problem, &exit_code);
    if (path.empty()) {
        err("zelmo-headless: " + problem + "\n");
        return exit_code;
    }
    std::string error;
    std::optional<store::ArchiveReader> reader = store::ArchiveReader::Open(path, &error);
    if (!reader) {
        err("zelmo-headless: cannot read " + path + ": " + error + "\n");
        return ARCHIVE_NO_DATABASE;
    }
    return command.kind == ArchiveCommand::Kind::Search ? Search(*reader, command, out, err)
                                                        : Export(*reader, command, out, err);
}

std::string ArchiveSynopsis() {
    return "       zelmo-headless [--data-dir DIR] [--uin UIN] search TEXT [--chat NAME]\n"
           "                      [--since YYYY-MM-DD] [--limit N] [--json]\n"
           "       zelmo-headless [--data-dir DIR] [--uin UIN] export --format csv|json\n"
           "                      [--chat NAME]\n";
}

std::string ArchiveHelpText() {
    return "search and export read the account's message archive (zelmo.db in its folder)\n"
           "without a login, also while the robot runs; they never create a database.\n"
           "  search TEXT           rows whose text holds TEXT (ASCII letters in either case),\n"
           "                        newest first: time, direction (↓ received, ↑ sent),\n"
           "                        chat / sender: text (a TEXT starting with - goes after --)\n"
           "  --chat NAME           only the chat with this key, or whose name holds NAME\n"
           "  --since YYYY-MM-DD    only rows from that day (local time) on\n"
           "  --limit N             at most N rows (default 200)\n"
           "  --json                one JSON object per line: time, direction (in or out),\n"
           "                        chat, chat_key, sender, sender_key, kind, text, msg_id\n"
           "  export --format F     the whole archive, oldest first, to standard output as\n"
           "                        csv (a header line; cells a spreadsheet would run as a\n"
           "                        formula start with ') or json (one object per line, with\n"
           "                        result and recalled besides the keys above)\n"
           "  --uin UIN             the account when the data folder holds several\n"
           "Exit status: 0 rows printed (export: always), 1 none, 2 wrong arguments,\n"
           "3 no database or it cannot be read.\n";
}

}  // namespace zelmo::headless
