#pragma once

#include <string>
#include <string_view>

namespace zelmo::protocol {

// What the service answered a send (webwxsendmsg and the media sends).
struct SendAnswer {
    std::string ret;     // BaseResponse's Ret as written; empty when the request failed
    std::string msg_id;  // the MsgID the service gave the message (a recall names it)
};

// The Ret (after "Ret": , up to the comma) and the MsgID of a send's answer; empty texts for
// what it lacks. Any bytes.
SendAnswer ReadSendAnswer(std::string_view answer);

}  // namespace zelmo::protocol
