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
    int SubMsgType = -1;  // -1 when the item does not carry it
    std::string Url;
    int StatusNotifyCode = 0;
    std::string RecommendUserName;  // RecommendInfo's UserName (cards, friend requests)
    std::string RecommendNickName;
    std::string FileName;
    long long CreateTime = 0;  // Unix seconds, as the service stamped it
};

// Reads one AddMsgList item, its bytes as the service sent them (UTF-8), in one pass. Any
// bytes: an item cut off gives the fields that came whole.
ReceivedMessage ReadMessageItem(std::string_view item);

}  // namespace zelmo::messages
