#include "config/SettingsInput.h"

#include <vector>

#include "protocol/TextHelpers.h"

namespace zelmo::config {

namespace {

constexpr int MAX_CHANCE = 100;
constexpr std::string_view DEFAULT_CHANCE = "100";
constexpr std::string_view DEFAULT_EXPIRY = "300";

// The lines of the text; a trailing break gives a last empty line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // CR and LF are never GBK trail bytes, so a byte scan is safe.
        if (text[pos] != '\r' && text[pos] != '\n') {
            ++pos;
            continue;
        }
        lines.push_back(text.substr(start, pos - start));
        const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        pos += crlf ? 2 : 1;
        start = pos;
    }
    lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

std::string NormalizeReplyChance(std::string_view text) {
    const long long value = protocol::IntegerValue(text);
    if (value <= 0 || value > MAX_CHANCE) {
        return std::string(DEFAULT_CHANCE);
    }
    return std::to_string(value);
}

std::string NormalizeCount(std::string_view text, std::string_view fallback) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos || text[first] < '0' || text[first] > '9') {
        return std::string(fallback);
    }
    return std::to_string(protocol::IntegerValue(text));
}

int MediaDownloadMode(std::string_view text) {
    constexpr int DEFAULT_MODE = 1;
    const std::string normal = NormalizeCount(text, "1");
    return normal == "0" || normal == "2" ? normal[0] - '0' : DEFAULT_MODE;
}

std::string NormalizeReplyExpiry(std::string_view text) {
    return NormalizeCount(text, DEFAULT_EXPIRY);
}

std::string JoinShieldLines(std::string_view text) {
    std::string joined;
    for (const std::string_view line : SplitLines(text)) {
        if (line.empty()) {
            continue;
        }
        if (!joined.empty()) {
            joined += ',';
        }
        joined += line;
    }
    return joined;
}

std::string StoredLineBreaks(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::string stored;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            stored += "[enter]";
        }
        stored += lines[i];
    }
    return stored;
}

}  // namespace zelmo::config
