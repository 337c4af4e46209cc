#pragma once

#include <string_view>

namespace zelmo::messages {

// The job kinds the message code posts; their numbers are the protocol of the queue.
enum MessageJobKind : int {
    JOB_SEND_TEXT = 1,         // texts: receiver UserName, message text, REPLY_FROM_KNOWLEDGE
    JOB_LOG_ENTRY = 3,         // texts: FromUserName, ToUserName, content, MsgId of media
    JOB_INCOMING_MESSAGE = 5,  // texts: one AddMsgList item, its bytes as sent (UTF-8)
};

// The third text of a send job whose text the knowledge base gave: its "[图片=NAME]" form
// sends the file NAME from the replies folder.
inline constexpr std::string_view REPLY_FROM_KNOWLEDGE = "knowledge";

}  // namespace zelmo::messages
