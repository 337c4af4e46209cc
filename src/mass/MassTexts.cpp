#include "mass/MassTexts.h"

#include "app/AccountPaths.h"
#include "app/Robot.h"
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

platform::TextFileReport LoadMassTexts(app::Robot& robot) {
    platform::TextFile file;
    if (!robot.AccountDir().empty()) {
        file = platform::ReadTextFileForUpdate(
            app::ConfigPath(robot.AccountDir(), app::MASS_TEXTS_FILE));
    } else {
        file.report.state = platform::TextFileState::Unreadable;
        file.report.reason = "no account folder";
    }
    const bool read = file.report.state != platform::TextFileState::Unreadable;
    robot.Mass().SetMaySaveTexts(platform::MayReplace(file.report));
    robot.Mass().SetTexts(read ? ParseMassTexts(file.text) : std::vector<AdText>{});
    robot.Screen().ShowMassTexts();
    return std::move(file.report);
}

bool SaveMassTexts(app::Robot& robot) {
    if (robot.AccountDir().empty() || !robot.Mass().MaySaveTexts()) {
        return false;
    }
    return platform::WriteFileKeepingBackup(
        app::ConfigPath(robot.AccountDir(), app::MASS_TEXTS_FILE),
        SerializeMassTexts(robot.Mass().Rows()));
}

}  // namespace zelmo::mass
