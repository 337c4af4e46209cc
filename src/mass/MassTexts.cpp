#include "mass/MassTexts.h"

#include <utility>

#include "config/AccountPaths.h"
#include "platform/Files.h"
#include "platform/TextFile.h"

namespace zelmo::mass {

namespace {

constexpr std::string_view CRLF = "\r\n";
constexpr std::string_view BLOCK_BREAK = "\r\n\r\n";

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

void ParseBlock(std::string_view block, std::vector<AdText>& texts) {
    while (block.substr(0, CRLF.size()) == CRLF) {
        block.remove_prefix(CRLF.size());
    }
    const std::size_t label_end = block.find(CRLF);
    if (label_end == std::string_view::npos) {
        return;
    }
    const std::string_view label = block.substr(0, label_end);
    std::size_t start = label_end + CRLF.size();
    while (start <= block.size()) {
        std::size_t end = block.find(CRLF, start);
        if (end == std::string_view::npos) {
            end = block.size();
        }
        const std::string_view line = block.substr(start, end - start);
        if (!line.empty()) {
            texts.push_back(AdText{std::string(label), std::string(line)});
        }
        start = end + CRLF.size();
    }
}

}  // namespace

std::vector<AdText> ParseMassTexts(std::string_view file_text) {
    std::string normalised;
    if (file_text.find('\n') != std::string_view::npos) {
        normalised = WithCrLf(file_text);
        file_text = normalised;
    }
    std::vector<AdText> texts;
    std::size_t start = 0;
    while (start < file_text.size()) {
        std::size_t end = file_text.find(BLOCK_BREAK, start);
        if (end == std::string_view::npos) {
            end = file_text.size();
        }
        ParseBlock(file_text.substr(start, end - start), texts);
        start = end + BLOCK_BREAK.size();
    }
    return texts;
}

std::string SerializeMassTexts(const std::vector<TextRow>& rows) {
    std::string out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            out += BLOCK_BREAK;
        }
        out += rows[i].ad.label;
        out += CRLF;
        out += rows[i].ad.text;
    }
    return out;
}

platform::TextFileReport LoadMassTexts(MassState& state, std::string_view account_dir,
                                       MassPort& screen) {
    platform::TextFile file;
    if (!account_dir.empty()) {
        file = platform::ReadTextFileForUpdate(
            config::ConfigPath(account_dir, config::MASS_TEXTS_FILE));
    } else {
        file.report.state = platform::TextFileState::Unreadable;
        file.report.reason = "no account folder";
    }
    const bool read = file.report.state != platform::TextFileState::Unreadable;
    state.SetMaySaveTexts(platform::MayReplace(file.report));
    state.SetTexts(read ? ParseMassTexts(file.text) : std::vector<AdText>{});
    screen.ShowMassTexts();
    return std::move(file.report);
}

bool SaveMassTexts(const MassState& state, std::string_view account_dir) {
    if (account_dir.empty() || !state.MaySaveTexts()) {
        return false;
    }
    return platform::WriteFileKeepingBackup(
        config::ConfigPath(account_dir, config::MASS_TEXTS_FILE), SerializeMassTexts(state.Rows()));
}

}  // namespace zelmo::mass
