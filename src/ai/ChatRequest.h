#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ai/ChatTurn.h"

namespace zelmo::ai {

// One chat-completions request (GBK texts).
struct ChatRequest {
    std::string model;
    std::string system_prompt;      // as sent: placeholders already expanded
    std::vector<ChatTurn> context;  // oldest first
    ChatTurn question;
    int max_tokens = 0;  // 0: not sent
};

// The request body (UTF-8 JSON): the system turn, the context and the question as user and
// assistant turns (a person's turn in a group starts with "<speaker>: "), "stream": false and
// max_tokens. Texts are JSON-escaped; "[enter]" in them is a line break.
std::string ChatRequestBody(const ChatRequest& request);

// 系统提示 as sent: "[mkname]" is the robot's name, "[enter]" a line break (letter case
// ignored in both, as in outgoing texts).
std::string SystemPrompt(std::string_view prompt, std::string_view robot_name);

// Enough tokens for an answer of `max_chars` characters (a Chinese character may take two)
// and no more, within 256..4096.
int MaxTokensFor(int max_chars);

}  // namespace zelmo::ai
