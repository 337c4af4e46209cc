#pragma once

#include <string>
#include <string_view>

namespace zelmo::protocol {

// One AddMsgList item of a webwxsync answer, from its bytes as sent (UTF-8, a message job's
// text). Texts are GBK; each field is its key's first occurrence in the item, empty when
// missing. Any bytes: an item cut off gives the fields that came whole.
struct MessageItem {
    std::string MsgId;         // as written
    std::string FromUserName;  // as written
    std::string ToUserName;    // as written
    std::string MsgType;       // number, as written
    // JSON escapes decoded; the service's markup (entities, "<br/>", emoji spans) as sent.
    std::string Content;
    std::string FileName;          // decoded
    std::string Url;               // decoded
    std::string AppMsgType;        // number, as written
    std::string StatusNotifyCode;  // number, as written
    std::string SubMsgType;        // number, as written
    std::string CreateTime;        // Unix seconds, as written
    struct {
        std::string UserName;  // as written
        std::string NickName;  // decoded, markup as sent
    } RecommendInfo;
};
MessageItem ReadMessageItem(std::string_view item);

}  // namespace zelmo::protocol
