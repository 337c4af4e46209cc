#pragma once

namespace zelmo::messages {

// The job kinds the message code posts; their numbers are the protocol of the queue.
enum MessageJobKind : int {
    JOB_SEND_TEXT = 1,         // texts: receiver UserName, message text
    JOB_LOG_ENTRY = 3,         // texts: FromUserName, ToUserName, content
    JOB_INCOMING_MESSAGE = 5,  // texts: one AddMsgList item, its bytes as sent (UTF-8)
};

}  // namespace zelmo::messages
