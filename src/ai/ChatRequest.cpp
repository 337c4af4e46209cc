#include "ai/ChatRequest.h"

#include <algorithm>

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "protocol/JsonText.h"

namespace zelmo::ai {

namespace {

constexpr std::string_view ENTER = "[enter]";

// A JSON string (quotes included) of a GBK text whose "[enter]"s are line breaks.
std::string JsonString(std::string_view gbk) {
    return "\"" + protocol::JsonEscape(platform::ReplaceAllGbk(gbk, ENTER, "\n", true)) + "\"";
}

void AppendTurn(std::string& body, std::string_view role, std::string_view text) {
    body += R"(,{"role":")";
    body += role;
    body += R"(","content":)";
    body += JsonString(text);
    body += '}';
}

std::string TurnText(const ChatTurn& turn) {
    if (turn.from_robot || turn.speaker.empty()) {
        return turn.text;
    }
    return turn.speaker + ": " + turn.text;
}

}  // namespace

std::string ChatRequestBody(const ChatRequest& request) {
    std::string body = R"({"model":)" + JsonString(request.model) + R"(,"messages":[)";
    body += R"({"role":"system","content":)" + JsonString(request.system_prompt) + "}";
    for (const ChatTurn& turn : request.context) {
        AppendTurn(body, turn.from_robot ? "assistant" : "user", TurnText(turn));
    }
    AppendTurn(body, "user", TurnText(request.question));
    body += R"(],"stream":false)";
    if (request.max_tokens > 0) {
        body += R"(,"max_tokens":)" + std::to_string(request.max_tokens);
    }
    body += '}';
    // Escaped as GBK, so a trail byte is never taken for a quote or backslash; then the
    // whole body becomes the UTF-8 the endpoint reads.
    return platform::GbkToUtf8(body);
}

std::string SystemPrompt(std::string_view prompt, std::string_view robot_name) {
    return platform::ReplaceAllGbk(platform::ReplaceAllGbk(prompt, "[mkname]", robot_name, true),
                                   ENTER, "\n", true);
}

int MaxTokensFor(int max_chars) {
    return std::clamp(max_chars * 2, 256, 4096);
}

}  // namespace zelmo::ai
