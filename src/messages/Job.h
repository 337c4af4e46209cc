#pragma once

#include <array>
#include <string>

namespace zelmo::messages {

// What a job does; the numbers are the protocol of the queue.
enum JobKind : int {
    JOB_SEND_TEXT = 1,         // texts: receiver UserName, message text
    JOB_CONTACT_CHANGED = 2,   // texts: UserName
    JOB_LOG_ENTRY = 3,         // texts: FromUserName, ToUserName, content
    JOB_GROUP_MEMBERS = 4,     // texts: the group's store index as decimal text
    JOB_INCOMING_MESSAGE = 5,  // texts: one raw AddMsgList item
};

// One unit of background work: a kind and exactly four texts (GBK); the poster fills the
// texts it needs and leaves the others empty.
struct Job {
    int kind = 0;
    std::array<std::string, 4> texts;
};

}  // namespace zelmo::messages
