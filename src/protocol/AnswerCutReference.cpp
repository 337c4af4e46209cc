#include "protocol/AnswerCutReference.h"

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "platform/Regex.h"
#include "protocol/JsonText.h"
#include "protocol/LoginFlow.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol::reference {

namespace {

// The service's layout puts every list behind a line break; the markers carry it.
constexpr std::string_view ADD_COUNT = "\"AddMsgCount\": ";
constexpr std::string_view ADD_LIST = "\n\"AddMsgList\": ";
constexpr std::string_view MOD_COUNT = "\"ModContactCount\": ";
constexpr std::string_view MOD_LIST = "\n\"ModContactList\": ";
constexpr std::string_view DEL_COUNT = "\"DelContactCount\": ";
constexpr std::string_view USER_NAME = "\"UserName\": \"";
// Each match runs from a message's "MsgId" (or the previous one's "NewMsgId") to the end of
// its RecommendInfo's Ticket value: exactly one message's fields.
constexpr std::string_view MESSAGE_PATTERN = R"(MsgId.*?Ticket": ".*?")";

// The key's opening quote belongs to each marker: since 2017 every message object ends
// with "OriContent", and the sync pattern makes each item after the first begin inside
// the previous message, where `Content": "` alone would find that OriContent first.
constexpr std::string_view FROM_MARKER = "\"FromUserName\": \"";
constexpr std::string_view TO_MARKER = "\"ToUserName\": \"";
constexpr std::string_view CONTENT_MARKER = "\"Content\": \"";
constexpr std::string_view TOKEN_END = "\",";

}  // namespace

bool ParseOwnProfile(const ServiceProfile& profile, std::string_view fun,
                     std::string_view init_answer, OwnProfile& own) {
    // The account's "User" object follows the SyncKey; the contacts before it hold the
    // same keys.
    const std::size_t sync_key = platform::FindGbk(init_answer, R"("SyncKey": )");
    if (sync_key == std::string_view::npos) {
        return false;
    }
    const std::size_t start = sync_key + 1;
    OwnProfile read;
    read.Uin = ExtractBetween(init_answer, R"(Uin": )", ",", start);
    read.UserName = ExtractBetween(init_answer, R"("UserName": ")", "\"", start);
    if (!IsUin(read.Uin) || read.UserName.empty()) {
        return false;
    }
    // Only a path stays on the web-client host: "@evil.example/x" would name another one.
    const std::string head = ExtractBetween(init_answer, R"("HeadImgUrl": ")", "\"", start);
    read.HeadImgUrl = head.starts_with('/') ? WebUrl(profile, fun) + head : std::string();
    read.NickName = DecodeHtmlEntities(
        StripSpanTags(ExtractJsonString(init_answer, R"("NickName": ")", start)));
    read.Signature = DecodeHtmlEntities(
        StripSpanTags(ExtractJsonString(init_answer, R"("Signature": ")", start)));
    const std::string sex = ExtractBetween(init_answer, R"("Sex": )", ",", start);
    read.Sex = platform::Utf8ToGbk(sex == "1" ? "男" : "女");
    own = std::move(read);
    return true;
}

InitCut CutInitAnswer(const ServiceProfile& profile, std::string_view fun,
                      std::string_view answer) {
    InitCut cut;
    cut.ret_ok = answer.find(R"(Ret": 0)") != std::string_view::npos;
    cut.key_ok = UpdateSyncKey(answer, cut.sync_key);
    cut.own_ok = ParseOwnProfile(profile, fun, answer, cut.own);
    return cut;
}

SyncCut CutSyncAnswer(std::string_view answer) {
    static const platform::Regex message_pattern(MESSAGE_PATTERN);
    SyncCut cut;
    cut.ret = ExtractBetween(answer, "Ret\": ", ",");
    cut.key_ok = UpdateSyncKey(answer, cut.sync_key);
    if (ExtractBetween(answer, ADD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, ADD_LIST, MOD_COUNT);
        for (const std::string_view item : message_pattern.FindAll(list)) {
            cut.items.emplace_back(item);
        }
    }
    if (ExtractBetween(answer, MOD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, MOD_LIST, DEL_COUNT);
        cut.changed_contact = ExtractBetween(list, USER_NAME, "\",");
    }
    return cut;
}

MessageCut CutMessageItem(std::string_view item) {
    MessageCut cut;
    cut.FromUserName = ExtractBetween(item, FROM_MARKER, TOKEN_END);
    cut.ToUserName = ExtractBetween(item, TO_MARKER, TOKEN_END);
    // Content is a JSON string: cut at its real end and decoded; "<br/>" stays as sent.
    cut.Content = ExtractJsonString(item, CONTENT_MARKER);
    return cut;
}

}  // namespace zelmo::protocol::reference
