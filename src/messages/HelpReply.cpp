#include "messages/HelpReply.h"

#include "platform/GbkText.h"
#include "protocol/ChatMessage.h"

namespace zelmo::messages {

namespace {

std::string CommandLine(std::string_view line_template, std::string_view command,
                        std::string_view description) {
    const std::string with_command = platform::ReplaceAllGbk(line_template, "[sp1]", command, true);
    return platform::ReplaceAllGbk(with_command, "[sp2]", description, true);
}

}  // namespace

std::string NameTheRobot(std::string_view text, const config::Settings& settings) {
    return platform::ReplaceAllGbk(text, "[mzname]", settings.机器人姓名, true);
}

std::string BuildHelpReply(const LangTemplates& templates, const config::Settings& settings,
                           const plugins::PluginHost& plugins, int chat_type) {
    std::string text = templates.return_a;
    if ((chat_type == protocol::CHAT_FRIEND && settings.好友学习) ||
        (chat_type == protocol::CHAT_GROUP && settings.群学习)) {
        text += CommandLine(templates.return_c, templates.function_key, templates.function_info);
    }
    const plugins::PluginTableSnapshot table = plugins.Table();
    if (table) {
        for (const plugins::PluginRecord& record : *table) {
            if (record.Enabled && record.Listed == 1) {
                text += CommandLine(templates.return_c,
                                    record.Prefix + record.ParamHint + record.Suffix, record.Intro);
            }
        }
    }
    return NameTheRobot(text, settings);
}

}  // namespace zelmo::messages
