#include "messages/ReplyChain.h"

#include <optional>

#include "messages/GroupEvents.h"
#include "messages/HelpReply.h"
#include "platform/GbkText.h"
#include "plugins/PluginDispatch.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

constexpr std::string_view QUESTION_PLACEHOLDER = "[sp1]";

// Blanks at both ends go; a blank byte is never part of a GBK character.
std::string TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

bool LearningOn(const config::Settings& settings, int chat_type) {
    return (chat_type == protocol::CHAT_FRIEND && settings.好友学习) ||
           (chat_type == protocol::CHAT_GROUP && settings.群学习);
}

// The learning command "<question marker> Q <answer marker> A": learns the pair and
// answers with the return template. Nothing when the command is absent or incomplete.
std::optional<std::string> Learn(const ReplySources& sources, const ChatMessage& message) {
    const LangTemplates& templates = sources.templates;
    const std::string& question_marker = templates.format_a;
    const std::string& answer_marker = templates.format_b;
    // An empty marker would be "found" in every text.
    if (question_marker.empty() || answer_marker.empty() ||
        !platform::ContainsGbk(message.content, question_marker, true) ||
        !platform::ContainsGbk(message.content, answer_marker, true)) {
        return std::nullopt;
    }
    const std::string question =
        TrimBlanks(protocol::ExtractBetween(message.content, question_marker, answer_marker));
    const std::string answer = TrimBlanks(protocol::TextAfter(message.content, answer_marker));
    if (question.empty() || answer.empty()) {
        return std::nullopt;
    }
    sources.knowledge.LearnPair(question, answer);
    return platform::ReplaceAllGbk(templates.return_text, QUESTION_PLACEHOLDER, question);
}

}  // namespace

std::string RunReplyChain(const ReplySources& sources, const config::Settings& settings,
                          const ChatMessage& message) {
    // An empty list word would match every message.
    if (settings.开启列表 && !settings.列表词.empty() &&
        platform::ContainsGbk(message.content, settings.列表词, true)) {
        return BuildHelpReply(sources.templates, settings, sources.plugins, message.chat_type);
    }
    if (settings.启用群管) {
        if (std::optional<std::string> event = GroupEventReply(settings, message.content)) {
            return std::move(*event);
        }
    }
    if (LearningOn(settings, message.chat_type)) {
        if (std::optional<std::string> learned = Learn(sources, message)) {
            return std::move(*learned);
        }
    }
    return plugins::DispatchToPlugins(sources.plugins, sources.account_dir,
                                      sources.sessions.Snapshot()->session.cookies, message);
}

}  // namespace zelmo::messages
