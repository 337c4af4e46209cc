#pragma once

#include <string>
#include <string_view>

namespace zelmo::messages {

// The fields of one AddMsgList item that intake and classification read (GBK texts; the
// texts shown to people are JSON-decoded, tokens are cut as sent). A missing field is
// empty or 0.
struct ReceivedMessage {
    std::string MsgId;
    std::string FromUserName;
    std::string ToUserName;
    int MsgType = 0;
    std::string Content;  // JSON-decoded; the service's markup ("<br/>", "&lt;") stays
    int AppMsgType = 0;
    // -1 when the item does not carry it: the sync pattern ends each item at its
    // RecommendInfo, before SubMsgType.
    int SubMsgType = -1;
    std::string Url;
    int StatusNotifyCode = 0;
    std::string RecommendUserName;  // RecommendInfo's UserName (cards, friend requests)
    std::string RecommendNickName;
    std::string FileName;
};

// Reads one raw AddMsgList item. Any bytes; fields are read from the item's own "MsgId"
// on, so the tail of the message before it (which the sync pattern leaves at the start
// of every item but the first) is never taken for this one's.
ReceivedMessage ReadMessageItem(std::string_view item);

}  // namespace zelmo::messages
