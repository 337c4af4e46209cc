#include "protocol/SyncRequests.h"

#include "platform/Encoding.h"
#include "platform/Regex.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"
#include "protocol/WebRequest.h"

namespace zelmo::protocol {

namespace {

constexpr std::string_view SYNC_CHECK_HEAD =
    "/cgi-bin/mmwebwx-bin/synccheck?skey=%40{skey}&callback=&r=";
constexpr std::string_view SYNC_CHECK_MIDDLE = "&sid={sid}&uin={uin}&deviceid={deviceid}&synckey=";
constexpr std::string_view SYNC_CHECK_TAIL = "&_=";
constexpr int SYNC_CHECK_TIMEOUT_S = 30;

constexpr std::string_view SYNC_PATH =
    "/cgi-bin/mmwebwx-bin/webwxsync?sid={sid}&skey=%40{skey}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
constexpr int SYNC_TIMEOUT_S = 3;

constexpr std::string_view LOGOUT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxlogout?redirect=1&type=0&skey=%40{skey}";

// The service's layout puts every list behind a line break; the markers carry it.
constexpr std::string_view ADD_COUNT = "\"AddMsgCount\": ";
constexpr std::string_view ADD_LIST = "\n\"AddMsgList\": ";
constexpr std::string_view MOD_COUNT = "\"ModContactCount\": ";
constexpr std::string_view MOD_LIST = "\n\"ModContactList\": ";
constexpr std::string_view DEL_COUNT = "\"DelContactCount\": ";
constexpr std::string_view USER_NAME = "\"UserName\": \"";
constexpr std::string_view SYNC_KEY = "\"SyncKey\": {";
constexpr std::string_view SYNC_KEY_COUNT = "\"Count\": ";
constexpr std::string_view SYNC_KEY_LIST = "\"List\": [";
constexpr std::string_view SYNC_KEY_ENTRY = "\"Key\": ";
// An item begins at its own "MsgId" or inside the previous message's "NewMsgId", whose
// value is a bare number: only the string value that follows is the item's own id.
constexpr std::string_view MESSAGE_ID = "MsgId\": \"";
// Each match runs from a message's "MsgId" (or the previous one's "NewMsgId") to the end of
// its RecommendInfo's Ticket value: exactly one message's fields.
constexpr std::string_view MESSAGE_PATTERN = R"(MsgId.*?Ticket": ".*?")";

}  // namespace

SyncCheckAnswer SyncCheck(const ServiceLink& link, const ProtocolState& state) {
    platform::Clock& clock = link.clock;
    // Two time stamps, taken one after the other.
    std::string path = FillTemplate(SYNC_CHECK_HEAD, state, clock);
    path += TimeStamp(clock);
    path += FillTemplate(SYNC_CHECK_MIDDLE, state, clock);
    path += state.sync_key.text;
    path += SYNC_CHECK_TAIL;
    path += TimeStamp(clock);
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    options.timeout_s = SYNC_CHECK_TIMEOUT_S;
    const std::string answer =
        link.web.Request(PushUrl(link.profile, state.session.fun) + path, options);
    SyncCheckAnswer result;
    if (answer.empty()) {
        return result;
    }
    result.ok = true;
    result.retcode = ExtractBetween(answer, "retcode:\"", "\"");
    result.selector = ExtractBetween(answer, "selector:\"", "\"");
    return result;
}

bool WebSync(const ServiceLink& link, ProtocolState& state, std::string& answer) {
    answer = platform::Utf8ToGbk(
        PostReadToWebHost(link, state, SYNC_PATH, SYNC_BODY, {}, SYNC_TIMEOUT_S));
    if (ExtractBetween(answer, "Ret\": ", ",") != "0" || !SyncKeyComplete(answer)) {
        return false;
    }
    return UpdateSyncKey(answer, state.sync_key);
}

bool SyncKeyComplete(std::string_view answer) {
    const std::size_t at = answer.find(SYNC_KEY);
    if (at == std::string_view::npos) {
        return false;
    }
    const std::string_view key = answer.substr(at + SYNC_KEY.size());
    const std::string count = ExtractBetween(key, SYNC_KEY_COUNT, ",");
    if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const std::size_t list_at = key.find(SYNC_KEY_LIST);
    const std::size_t list_end = key.find(']');
    if (list_at == std::string_view::npos || list_end == std::string_view::npos ||
        list_end < list_at) {
        return false;
    }
    const std::string_view list = key.substr(list_at, list_end - list_at);
    std::size_t entries = 0;
    for (std::size_t pos = list.find(SYNC_KEY_ENTRY); pos != std::string_view::npos;
         pos = list.find(SYNC_KEY_ENTRY, pos + 1)) {
        ++entries;
    }
    const std::size_t object_end = key.find_first_not_of(" \r\n\t", list_end + 1);
    return entries > 0 && std::to_string(entries) == count &&
           object_end != std::string_view::npos && key[object_end] == '}';
}

std::string MessageIdOf(std::string_view item) {
    return ExtractBetween(item, MESSAGE_ID, "\"");
}

SyncNews ReadSyncNews(std::string_view answer) {
    static const platform::Regex message_pattern(MESSAGE_PATTERN);
    SyncNews news;
    if (ExtractBetween(answer, ADD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, ADD_LIST, MOD_COUNT);
        for (const std::string_view item : message_pattern.FindAll(list)) {
            news.messages.emplace_back(item);
        }
    }
    if (ExtractBetween(answer, MOD_COUNT, ",") != "0") {
        const std::string list = ExtractBetween(answer, MOD_LIST, DEL_COUNT);
        // Only the first changed contact, whatever the count says.
        news.changed_contact = ExtractBetween(list, USER_NAME, "\",");
    }
    return news;
}

void SendLogout(const ServiceLink& link, const ProtocolState& state) {
    const std::string url =
        WebUrl(link.profile, state.session.fun) + FillTemplate(LOGOUT_PATH, state, link.clock);
    platform::RequestOptions options;
    options.method = "post";
    options.cookie_header = state.session.cookies;
    link.web.Request(url, options);
}

}  // namespace zelmo::protocol
