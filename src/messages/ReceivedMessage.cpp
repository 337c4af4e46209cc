#include "messages/ReceivedMessage.h"

#include <limits>

#include "protocol/MessageItem.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// A number field as written; 0 for one that is no number or does not fit.
int Number(std::string_view text) {
    const long long value = protocol::IntegerValue(text);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return 0;
    }
    return static_cast<int>(value);
}

}  // namespace

ReceivedMessage ReadMessageItem(std::string_view item) {
    protocol::MessageItem read = protocol::ReadMessageItem(item);
    ReceivedMessage message;
    message.MsgId = std::move(read.MsgId);
    message.FromUserName = std::move(read.FromUserName);
    message.ToUserName = std::move(read.ToUserName);
    message.MsgType = Number(read.MsgType);
    message.Content = std::move(read.Content);
    message.AppMsgType = Number(read.AppMsgType);
    message.SubMsgType = read.SubMsgType.empty() ? -1 : Number(read.SubMsgType);
    message.Url = std::move(read.Url);
    message.StatusNotifyCode = Number(read.StatusNotifyCode);
    message.RecommendUserName = std::move(read.RecommendInfo.UserName);
    message.RecommendNickName = std::move(read.RecommendInfo.NickName);
    message.FileName = std::move(read.FileName);
    message.CreateTime = protocol::IntegerValue(read.CreateTime);
    return message;
}

}  // namespace zelmo::messages
