#include "protocol/SyncRequests.h"

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

bool WebSync(const ServiceLink& link, ProtocolState& state, SyncAnswer& answer) {
    answer =
        ReadSyncAnswer(PostReadToWebHost(link, state, SYNC_PATH, SYNC_BODY, {}, SYNC_TIMEOUT_S));
    if (answer.ret != "0" || !answer.complete) {
        return false;
    }
    state.sync_key = answer.sync_key;
    return true;
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
