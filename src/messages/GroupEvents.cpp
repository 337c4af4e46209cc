#include "messages/GroupEvents.h"

#include "platform/GbkLiteral.h"
#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// The welcome or farewell with the person's name; the placeholder is matched exactly.
std::string NameInto(std::string_view reply_template, std::string_view name) {
    return platform::ReplaceAllGbk(reply_template, "[name]", name, false);
}

}  // namespace

std::optional<std::string> GroupEventReply(const config::Settings& settings,
                                           std::string_view content) {
    const std::string you = platform::Gbk("你");
    if (platform::ContainsGbk(content, platform::Gbk("移出了群聊"), true)) {
        const std::string name =
            protocol::ExtractBetween(content, platform::Gbk("你将"), platform::Gbk("移出了群聊"));
        return NameInto(settings.群管_移, name);
    }
    if (platform::ContainsGbk(content, platform::Gbk("加入了群聊"), true)) {
        const std::string name =
            protocol::ExtractBetween(content, platform::Gbk("邀请"), platform::Gbk("加入了群聊"));
        if (name == you) {
            return std::string();
        }
        return NameInto(settings.群管_邀, name);
    }
    if (platform::ContainsGbk(content, platform::Gbk("二维码加入群聊"), true)) {
        const std::string name = protocol::TextBefore(content, platform::Gbk("通过"));
        if (name == you) {
            return std::string();
        }
        return NameInto(settings.群管_加, name);
    }
    return std::nullopt;
}

}  // namespace zelmo::messages
