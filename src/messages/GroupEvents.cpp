#include "messages/GroupEvents.h"

#include <array>

#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// The service's own texts, in GBK, made once.
struct Phrases {
    std::string you = platform::Gbk("你");
    std::string removed = platform::Gbk("移出了群聊");
    std::string you_removed = platform::Gbk("你将");
    std::string joined = platform::Gbk("加入了群聊");
    std::string invited = platform::Gbk("邀请");
    std::string qr_joined = platform::Gbk("二维码加入群聊");
    std::string group_chat = platform::Gbk("群聊");
    std::string through = platform::Gbk("通过");
    std::string name_separator = platform::Gbk("、");
    // What stands around a name: blanks and quotes, ASCII and full-width.
    std::array<std::string, 6> wide_wrapping = {platform::Gbk("“"),  platform::Gbk("”"),
                                                platform::Gbk("‘"),  platform::Gbk("’"),
                                                platform::Gbk("　"), platform::Gbk("＂")};
};

const Phrases& Texts() {
    static const Phrases phrases;
    return phrases;
}

// The English wordings; a trailing blank or full stop after them does not matter.
constexpr std::string_view EN_REMOVED = "removed ";
constexpr std::string_view EN_FROM_GROUP = " from the group chat";
constexpr std::string_view EN_INVITED = " invited ";
constexpr std::string_view EN_TO_GROUP = " to the group chat";
constexpr std::string_view EN_QR_JOINED = " joined the group chat via the QR Code";
constexpr std::string_view EN_JOINED = " joined the group chat";
constexpr std::string_view EN_YOU = "you";
// Every notice above has one of these: most messages are none, and are told by two looks.
constexpr std::string_view EN_GROUP_CHAT = "group chat";

bool IsNarrowWrapping(char c) {
    return c == ' ' || c == '\t' || c == '"' || c == '\'';
}

// One name without the quotes and blanks the service puts around it. ASCII bytes never
// occur inside a GBK character, so a byte at either end is a character of its own.
std::string_view Unwrapped(std::string_view name) {
    const Phrases& texts = Texts();
    for (bool trimmed = true; trimmed && !name.empty();) {
        trimmed = false;
        if (IsNarrowWrapping(name.front())) {
            name.remove_prefix(1);
            trimmed = true;
        } else if (IsNarrowWrapping(name.back())) {
            name.remove_suffix(1);
            trimmed = true;
        }
        for (const std::string& wide : texts.wide_wrapping) {
            if (name.starts_with(wide)) {
                name.remove_prefix(wide.size());
                trimmed = true;
            } else if (name.ends_with(wide) &&
                       platform::IsGbkBoundary(name, name.size() - wide.size())) {
                name.remove_suffix(wide.size());
                trimmed = true;
            }
        }
    }
    return name;
}

// The name or names of a notice, each unwrapped: several people share one pair of quotes,
// separated by "、", and come back joined by "、".
std::string CleanNames(std::string_view raw) {
    const std::string& separator = Texts().name_separator;
    std::string names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = platform::FindGbk(raw, separator, start);
        const std::string_view name = Unwrapped(
            raw.substr(start, at == std::string_view::npos ? raw.size() - start : at - start));
        if (!name.empty()) {
            names += (names.empty() ? "" : separator) + std::string(name);
        }
        if (at == std::string_view::npos) {
            return names;
        }
        start = at + separator.size();
    }
}

bool IsOwnAccount(std::string_view name) {
    if (name == Texts().you) {
        return true;
    }
    return name.size() == EN_YOU.size() && platform::ContainsGbk(name, EN_YOU, true);
}

// The welcome or farewell with the person's name; the placeholder is matched exactly.
std::string NameInto(std::string_view reply_template, std::string_view name) {
    return platform::ReplaceAllGbk(reply_template, "[name]", name, false);
}

// A join names nobody to welcome when the own account is the one who joined.
std::string Welcome(std::string_view reply_template, std::string_view raw_name) {
    const std::string name = CleanNames(raw_name);
    if (IsOwnAccount(name)) {
        return {};
    }
    return NameInto(reply_template, name);
}

bool Has(std::string_view content, std::string_view phrase) {
    return platform::ContainsGbk(content, phrase, true);
}

}  // namespace

std::optional<std::string> GroupEventReply(const config::Settings& settings,
                                           std::string_view content) {
    const Phrases& texts = Texts();
    if (!platform::ContainsGbk(content, texts.group_chat) && !Has(content, EN_GROUP_CHAT)) {
        return std::nullopt;
    }
    if (Has(content, texts.removed)) {
        return NameInto(settings.群管_移, CleanNames(protocol::ExtractBetween(
                                              content, texts.you_removed, texts.removed)));
    }
    if (Has(content, texts.joined)) {
        return Welcome(settings.群管_邀,
                       protocol::ExtractBetween(content, texts.invited, texts.joined));
    }
    if (Has(content, texts.qr_joined)) {
        return Welcome(settings.群管_加, protocol::TextBefore(content, texts.through));
    }
    if (Has(content, EN_REMOVED) && Has(content, EN_FROM_GROUP)) {
        return NameInto(settings.群管_移,
                        CleanNames(protocol::ExtractBetween(content, EN_REMOVED, EN_FROM_GROUP)));
    }
    if (Has(content, EN_INVITED) && Has(content, EN_TO_GROUP)) {
        return Welcome(settings.群管_邀,
                       protocol::ExtractBetween(content, EN_INVITED, EN_TO_GROUP));
    }
    if (Has(content, EN_QR_JOINED)) {
        return Welcome(settings.群管_加, protocol::TextBefore(content, EN_JOINED));
    }
    return std::nullopt;
}

}  // namespace zelmo::messages
