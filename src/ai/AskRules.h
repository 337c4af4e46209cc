#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/AiSettings.h"

namespace zelmo::ai {

// What the intake knows of a received message, for the choice whether the model hears it.
struct IncomingFacts {
    bool group = false;  // a group chat (its UserName holds "@@")
    // The text as converted to GBK but before emoji markup and "?" are removed; in groups the
    // part after the member's "<UserName>:<br/>". The service ends a mention with U+2005,
    // which GBK lacks: the conversion writes a "?" for it, and the later removal of every
    // "?" would leave no trace of where the mention ends, so the mention is read here.
    std::string_view content;
    bool typed_text = true;  // typed by a person: not a label for a picture, voice, card...
    bool answerable = true;  // not a recall, system notice, friend request or status message
    bool official_account = false;
    bool own_message = false;         // written by the own account, on another device
    std::string_view own_group_name;  // the account's display name in this group; empty: none
    std::string_view own_nickname;
    std::string_view robot_name;  // 机器人姓名
};

// The text the model is asked (GBK): the message with the robot's mention, a leading robot
// name and 触发前缀 cut, emoji markup and "?" removed as for every reply source, "<br/>" as
// "\n" and the service's entities read. Nothing when 启用 is off or the message must not
// reach the model: a kind no source answers, an official account, the own account, a friend
// while 好友 is off, a group by 群 (0 never; 1 only when the account is mentioned as "@",
// its name in the group and the separator, or the message starts with the robot's or the
// account's name; 2 always), a message without 触发前缀, or nothing left to ask.
std::optional<std::string> QuestionFor(const IncomingFacts& facts,
                                       const config::AiSettings& settings);

}  // namespace zelmo::ai
