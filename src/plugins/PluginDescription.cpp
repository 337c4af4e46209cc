#include "plugins/PluginDescription.h"

#include <optional>
#include <vector>

#include "platform/GbkLiteral.h"

namespace zelmo::plugins {

namespace {

constexpr std::string_view LINE_BREAK = "\r\n";

// Splits at every occurrence of the separator; n separators give n + 1 pieces. The
// separators are pure ASCII, and in GBK an ASCII CR or LF is never a trail byte, so a plain
// byte search cannot cut a character.
std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::optional<PluginRecord> ParseEntry(std::string_view entry, bool last,
                                       std::string_view file_name, std::string_view true_word) {
    std::vector<std::string_view> lines = Split(entry, LINE_BREAK);
    // A line break ending the whole text closes the last line rather than opening an
    // eleventh one; line 10 itself may still be empty.
    if (last && lines.size() == ENTRY_LINES + 1 && lines.back().empty()) {
        lines.pop_back();
    }
    if (lines.size() != ENTRY_LINES) {
        return std::nullopt;
    }
    for (const std::size_t required : {0u, 1u, 2u, 3u, 7u}) {
        if (lines[required].empty()) {
            return std::nullopt;
        }
    }
    if (lines[8] != "1" && lines[8] != "2") {
        return std::nullopt;
    }
    PluginRecord record;
    record.Name = lines[0];
    record.Version = lines[1];
    record.Author = lines[2];
    record.Intro = lines[3];
    record.Prefix = lines[4];
    record.ParamHint = lines[5];
    record.Suffix = lines[6];
    record.Function = lines[7];
    record.Listed = lines[8] == "1" ? 1 : 2;
    record.WantsAccount = lines[9] == true_word;
    record.FileName = file_name;
    return record;
}

}  // namespace

PluginTable ParseDescription(std::string_view text, std::string_view file_name) {
    const std::string true_word = platform::Gbk("真");
    const std::vector<std::string_view> entries = Split(text, ENTRY_SEPARATOR);
    PluginTable records;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool last = i + 1 == entries.size();
        if (std::optional<PluginRecord> record =
                ParseEntry(entries[i], last, file_name, true_word)) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

}  // namespace zelmo::plugins
