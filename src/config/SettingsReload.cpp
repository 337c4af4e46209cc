#include "config/SettingsReload.h"

#include <utility>

#include "platform/GbkBytes.h"
#include "platform/TextFile.h"

namespace zelmo::config {

namespace {

// True when the text's last byte starts a two-byte character that never came.
bool EndsInsideCharacter(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        if (!platform::IsGbkLead(static_cast<unsigned char>(text[at]))) {
            ++at;
        } else if (at + 1 == text.size()) {
            return true;
        } else {
            at += 2;
        }
    }
    return false;
}

}  // namespace

std::string CutOffReason(std::string_view text) {
    if (text.empty()) {
        return "it is empty";
    }
    if (text.back() == '\n' || text.back() == '\r') {
        return {};
    }
    const std::size_t end_of_previous = text.find_last_of("\r\n");
    std::string_view line =
        end_of_previous == std::string_view::npos ? text : text.substr(end_of_previous + 1);
    if (EndsInsideCharacter(line)) {
        return "it ends inside a character";
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return {};
    }
    const bool whole = line.front() == '[' ? line.find(']') != std::string_view::npos
                                           : line.find('=') != std::string_view::npos;
    return whole ? std::string() : "its last line is cut off";
}

SettingsReload ReloadSettingsFile(std::string_view path) {
    platform::TextFile file = platform::ReadTextFileForUpdate(path);
    SettingsReload reload;
    if (file.report.state == platform::TextFileState::Unreadable) {
        reload.problem = file.report.reason;
        return reload;
    }
    if (file.report.state != platform::TextFileState::Missing) {
        reload.problem = CutOffReason(file.text);
        if (!reload.problem.empty()) {
            return reload;
        }
    }
    reload.file = ReadSettingsFile(std::move(file));
    return reload;
}

}  // namespace zelmo::config
