#include "ai/AskRules.h"

#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::ai {

namespace {

constexpr std::string_view LINE_BREAK = "<br/>";
constexpr std::string_view IDEOGRAPHIC_SPACE = "\xa1\xa1";  // "　" in GBK

// Bytes of the blank at `pos` (space, tab, line break, ideographic space); 0 for none.
std::size_t BlankAt(std::string_view text, std::size_t pos) {
    const std::string_view rest = text.substr(pos);
    if (rest.empty()) {
        return 0;
    }
    if (rest[0] == ' ' || rest[0] == '\t' || rest[0] == '\r' || rest[0] == '\n') {
        return 1;
    }
    if (rest.starts_with(IDEOGRAPHIC_SPACE)) {
        return IDEOGRAPHIC_SPACE.size();
    }
    return rest.starts_with(LINE_BREAK) ? LINE_BREAK.size() : 0;
}

// Bytes of what may follow a name that addresses someone: blanks and ", : ， ： 、".
std::size_t AddressMarkAt(std::string_view text, std::size_t pos) {
    if (const std::size_t blank = BlankAt(text, pos)) {
        return blank;
    }
    const std::string_view rest = text.substr(pos);
    for (const std::string_view mark :
         {std::string_view(","), std::string_view(":"), std::string_view("\xa3\xac"),
          std::string_view("\xa3\xba"), std::string_view("\xa1\xa2")}) {
        if (rest.starts_with(mark)) {
            return mark.size();
        }
    }
    return 0;
}

std::string_view TrimBlanks(std::string_view text) {
    while (const std::size_t blank = BlankAt(text, 0)) {
        text.remove_prefix(blank);
    }
    // No trail byte lies below 0x40, so a one-byte blank at the end is one; the two bytes
    // of a GBK space may be a trail and a lead, so they count only at a boundary.
    while (!text.empty()) {
        const char last = text.back();
        if (last == ' ' || last == '\t' || last == '\r' || last == '\n') {
            text.remove_suffix(1);
        } else if (text.ends_with(IDEOGRAPHIC_SPACE) &&
                   platform::IsGbkBoundary(text, text.size() - 2)) {
            text.remove_suffix(2);
        } else if (text.ends_with(LINE_BREAK)) {
            text.remove_suffix(LINE_BREAK.size());
        } else {
            break;
        }
    }
    return text;
}

bool IsAsciiWordByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// Cuts every "@" + name that ends in the separator the service writes (here the "?" the
// conversion made of it), a blank, a line break or the end. True when one was cut.
bool CutMentions(std::string& text, std::string_view name) {
    if (name.empty()) {
        return false;
    }
    const std::string mention = "@" + std::string(name);
    bool cut = false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = platform::FindGbk(text, mention, from);
        if (at == std::string::npos) {
            return cut;
        }
        const std::size_t end = at + mention.size();
        std::size_t separator = 0;
        if (end < text.size() && text[end] == '?') {
            separator = 1;
        } else if (end < text.size() && BlankAt(text, end) == 0) {
            from = end;  // "@name2" is somebody else
            continue;
        } else if (end < text.size() && text.compare(end, LINE_BREAK.size(), LINE_BREAK) != 0) {
            separator = BlankAt(text, end);
        }
        text.erase(at, end + separator - at);
        from = at;
        cut = true;
    }
}

// The length of `name` at the start of the text when it stands there as a word of its own
// (an ASCII name is not the start of a longer ASCII word); 0 otherwise.
std::size_t NameAtStart(std::string_view text, std::string_view name, bool ignore_case) {
    if (name.empty() || platform::FindGbk(text, name, 0, ignore_case) != 0) {
        return 0;
    }
    if (name.size() < text.size() && IsAsciiWordByte(name.back()) &&
        IsAsciiWordByte(text[name.size()])) {
        return 0;
    }
    return name.size();
}

// Cuts a leading name that addresses the robot and the marks after it. True when cut.
bool CutLeadingName(std::string& text, const IncomingFacts& facts) {
    const std::string_view trimmed = TrimBlanks(text);
    const std::string_view account =
        facts.own_group_name.empty() ? facts.own_nickname : facts.own_group_name;
    std::size_t length = NameAtStart(trimmed, facts.robot_name, true);
    if (length == 0) {
        length = NameAtStart(trimmed, account, false);
    }
    if (length == 0) {
        return false;
    }
    std::size_t end = length;
    while (const std::size_t mark = AddressMarkAt(trimmed, end)) {
        end += mark;
    }
    text = std::string(trimmed.substr(end));
    return true;
}

}  // namespace

std::optional<std::string> QuestionFor(const IncomingFacts& facts,
                                       const config::AiSettings& settings) {
    if (!settings.启用 || !facts.typed_text || !facts.answerable || facts.official_account ||
        facts.own_message) {
        return std::nullopt;
    }
    std::string text(facts.content);
    if (facts.group) {
        const config::AiGroupMode mode = config::ReadAiNumbers(settings).group;
        if (mode == config::AiGroupMode::Never) {
            return std::nullopt;
        }
        // The name the members see: the group's name card where the account has one.
        const bool mentioned = CutMentions(
            text, facts.own_group_name.empty() ? facts.own_nickname : facts.own_group_name);
        const bool named = CutLeadingName(text, facts);
        if (mode == config::AiGroupMode::WhenAddressed && !mentioned && !named) {
            return std::nullopt;
        }
    } else if (!settings.好友) {
        return std::nullopt;
    }
    if (!settings.触发前缀.empty()) {
        const std::string_view trimmed = TrimBlanks(text);
        const std::size_t prefix = NameAtStart(trimmed, settings.触发前缀, true);
        if (prefix == 0) {
            return std::nullopt;
        }
        text = std::string(trimmed.substr(prefix));
    }
    std::string question = protocol::StripSpanTags(text);
    question = platform::ReplaceAllGbk(question, LINE_BREAK, "\n");
    question = protocol::DecodeHtmlEntities(question);
    const std::string_view asked = TrimBlanks(question);
    if (asked.empty()) {
        return std::nullopt;
    }
    return std::string(asked);
}

}  // namespace zelmo::ai
