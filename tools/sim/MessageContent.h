#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/Simulator.h"

namespace sim {

struct RecommendInfo {
    std::string user_name;
    std::string nick_name;
    std::string province;
    std::string city;
    std::string content;
    std::string signature;
    std::string alias;
    int scene = 0;
    int verify_flag = 0;
    int sex = 0;
    std::string ticket;
    int op_code = 0;
};

// One AddMsgList element with every field the service fills.
struct MessageObject {
    std::string msg_id;  // 19 digits
    std::string from;
    std::string to;
    int msg_type = 1;
    std::string content;  // markup as the service sends it, before JSON escaping
    int img_status = 1;
    std::int64_t create_time = 0;
    int voice_length = 0;
    int play_length = 0;
    std::string file_name;
    std::string file_size;
    std::string media_id;
    std::string url;
    int app_msg_type = 0;
    int status_notify_code = 0;
    std::string status_notify_user_name;
    RecommendInfo recommend;
    int img_height = 0;
    int img_width = 0;
    int sub_msg_type = 0;
    std::string ori_content;
    std::string encry_file_name;
};

// What a message names, already resolved to UserNames and nick names.
struct MessageParties {
    std::string from;    // sender or group
    std::string to;      // receiver
    std::string member;  // speaking member's UserName (groups), may be empty
    std::string own_user_name;
    std::string card_user_name;  // Card/VerifyRequest: the contact shown
    std::string card_nick_name;
    std::string short_link_host;
    std::string msg_id;
    std::string recalled_msg_id;  // Recall: the message taken back (empty: msg_id)
    std::int64_t create_time = 0;
    std::string hex_token;  // Late2018 media token material (hex)
};

// Text as the service marks it up: "&", "<", ">" as entities, line breaks as "<br/>",
// emoji outside the BMP as span elements.
std::string MarkupText(std::string_view utf8);

// The service's plain-text system notice for a group event.
std::string NoticeText(const MessageSpec& incoming);

MessageObject BuildMessage(const MessageSpec& incoming, const MessageParties& parties, Era era);

}  // namespace sim
