#include "plugins/PluginTrigger.h"

#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::plugins {

namespace {

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

std::optional<std::string> SelectArgument(const PluginRecord& record, std::string_view content) {
    if (IsBlank(record.Prefix)) {
        return std::string(content);
    }
    const bool no_suffix = IsBlank(record.Suffix);
    if (no_suffix) {
        const std::size_t at = platform::FindGbk(content, record.Prefix, 0, true);
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        if (IsBlank(record.ParamHint)) {
            return std::string(content);
        }
        return std::string(content.substr(at + record.Prefix.size()));
    }
    std::string between = protocol::ExtractBetween(content, record.Prefix, record.Suffix);
    if (between.empty()) {
        return std::nullopt;
    }
    return between;
}

}  // namespace zelmo::plugins
