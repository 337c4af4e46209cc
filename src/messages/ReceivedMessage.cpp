#include "messages/ReceivedMessage.h"

#include <limits>

#include "platform/GbkText.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// Every marker carries the key's opening quote: "SubMsgType" must not be found for
// "MsgType", nor "EncryFileName" for "FileName". The id's cannot: the sync pattern starts
// each item just after it. "NewMsgId" is a bare number, so the quoted value tells them apart.
constexpr std::string_view MSG_ID = "MsgId\": \"";
constexpr std::string_view FROM = "\"FromUserName\": \"";
constexpr std::string_view TO = "\"ToUserName\": \"";
constexpr std::string_view MSG_TYPE = "\"MsgType\": ";
constexpr std::string_view CONTENT = "\"Content\": \"";
constexpr std::string_view FILE_NAME = "\"FileName\": \"";
constexpr std::string_view URL = "\"Url\": \"";
constexpr std::string_view APP_MSG_TYPE = "\"AppMsgType\": ";
constexpr std::string_view STATUS_NOTIFY_CODE = "\"StatusNotifyCode\": ";
constexpr std::string_view RECOMMEND_INFO = "\"RecommendInfo\": {";
constexpr std::string_view USER_NAME = "\"UserName\": \"";
constexpr std::string_view NICK_NAME = "\"NickName\": \"";
constexpr std::string_view SUB_MSG_TYPE = "\"SubMsgType\": ";
constexpr std::string_view TOKEN_END = "\"";
constexpr std::string_view NUMBER_END = ",";

int NumberAfter(std::string_view item, std::string_view marker, std::size_t start) {
    const long long value =
        protocol::IntegerValue(protocol::ExtractBetween(item, marker, NUMBER_END, start));
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return 0;
    }
    return static_cast<int>(value);
}

}  // namespace

ReceivedMessage ReadMessageItem(std::string_view item) {
    ReceivedMessage message;
    const std::size_t id_at = platform::FindGbk(item, MSG_ID);
    // 1-based positions for the cutting helpers.
    const std::size_t start = id_at == std::string_view::npos ? 1 : id_at + 1;
    message.MsgId = protocol::ExtractBetween(item, MSG_ID, TOKEN_END, start);
    message.FromUserName = protocol::ExtractBetween(item, FROM, TOKEN_END, start);
    message.ToUserName = protocol::ExtractBetween(item, TO, TOKEN_END, start);
    message.MsgType = NumberAfter(item, MSG_TYPE, start);
    message.Content = protocol::ExtractJsonString(item, CONTENT, start);
    message.FileName = protocol::ExtractJsonString(item, FILE_NAME, start);
    message.Url = protocol::ExtractJsonString(item, URL, start);
    message.AppMsgType = NumberAfter(item, APP_MSG_TYPE, start);
    message.StatusNotifyCode = NumberAfter(item, STATUS_NOTIFY_CODE, start);
    const std::size_t recommend_at = platform::FindGbk(item, RECOMMEND_INFO, start - 1);
    if (recommend_at != std::string_view::npos) {
        message.RecommendUserName =
            protocol::ExtractBetween(item, USER_NAME, TOKEN_END, recommend_at + 1);
        message.RecommendNickName = protocol::ExtractJsonString(item, NICK_NAME, recommend_at + 1);
    }
    if (platform::ContainsGbk(item.substr(start - 1), SUB_MSG_TYPE)) {
        message.SubMsgType = NumberAfter(item, SUB_MSG_TYPE, start);
    }
    return message;
}

}  // namespace zelmo::messages
