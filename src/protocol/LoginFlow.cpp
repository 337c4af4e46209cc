#include "protocol/LoginFlow.h"

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "protocol/JsonText.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

namespace {

constexpr int QR_ATTEMPTS = 10;
constexpr int QR_TIMEOUT_S = 2;
constexpr int POLL_TIMEOUT_S = 30;
constexpr int INIT_TIMEOUT_S = 90;

constexpr std::string_view APP_ID = "wx782c26e4c19acffb";
constexpr std::string_view INIT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxinit?pass_ticket={pass_ticket}&r={time}&skey=%40{skey}"
    "&pass_ticket={pass_ticket}";
constexpr std::string_view REPORT_FIRST =
    R"("Count":1,"List":[{"Type":1,"Text":"/cgi-bin/mmwebwx-bin/login, First Request Success, uuid: {uuid}"}]})";
constexpr std::string_view REPORT_SECOND =
    R"("Count":1,"List":[{"Type":1,"Text":"/cgi-bin/mmwebwx-bin/login, Second Request Start, uuid: {uuid}"}]})";
constexpr std::string_view REPORT_THIRD =
    R"("Count":1,"List":[{"Type":1,"Text":"/cgi-bin/mmwebwx-bin/login, Second Request Success, uuid: {uuid}, time: {Delay}ms"}]})";

std::string Get(const ServiceLink& link, std::string_view url, platform::RequestOptions options) {
    return link.web.Request(url, options);
}

// The status reports go to the primary host, with the session's cookies only for report 3.
void PostStatusReport(const ServiceLink& link, const Session& session, std::string_view report,
                      bool with_cookies) {
    const std::string url =
        WebUrl(link.profile, "") +
        "/cgi-bin/mmwebwx-bin/webwxstatreport?type=1&r=" + TimeStamp(link.clock) +
        "&skey=&pass_ticket=undefined";
    const std::string body = FillTemplate(std::string(STATUS_REPORT_PREFIX) + std::string(report),
                                          session, "", link.clock);
    platform::RequestOptions options;
    options.method = "post";
    options.body = body;
    if (with_cookies) {
        options.cookie_header = session.cookies;
    }
    link.web.Request(url, options);
}

void AddFunIfMissing(std::string& url) {
    if (url.find("fun") == std::string::npos) {
        url += "&fun=new";
    }
}

bool FetchOnce(const ServiceLink& link, Session& session) {
    std::string jar;
    platform::RequestOptions home;
    home.cookie_jar = &jar;
    Get(link, WebUrl(link.profile, "") + "/?lang=zh_CN", home);
    session.cookies = jar;

    const std::string jslogin =
        LoginUrl(link.profile) + "/jslogin?appid=" + std::string(APP_ID) +
        "&redirect_uri=https%3A%2F%2F" + WebHost(link.profile, "") +
        "%2Fcgi-bin%2Fmmwebwx-bin%2Fwebwxnewloginpage&fun=new&lang=zh_CN&_=" +
        TimeStamp(link.clock);
    session.uuid = ExtractBetween(Get(link, jslogin, {}), R"(uuid = ")", "\"");
    if (session.uuid.empty()) {
        // Without an id the image request could only fail.
        session.qr_image.clear();
        return false;
    }
    platform::RequestOptions image;
    image.timeout_s = QR_TIMEOUT_S;
    session.qr_image =
        Get(link, LoginUrl(link.profile) + "/qrcode/" + session.uuid + "?t=webwx", image);
    return !session.qr_image.empty();
}

}  // namespace

void FetchQrCode(const ServiceLink& link, Session& session) {
    for (int attempt = 0; attempt < QR_ATTEMPTS; ++attempt) {
        if (FetchOnce(link, session) || link.web.Stopped()) {
            return;
        }
    }
}

PollAnswer PollLogin(const ServiceLink& link, const Session& session) {
    const std::string url = LoginUrl(link.profile) +
                            "/cgi-bin/mmwebwx-bin/login?uuid=" + session.uuid +
                            "&tip=0&_=" + TimeStamp(link.clock);
    platform::RequestOptions options;
    options.timeout_s = POLL_TIMEOUT_S;
    options.no_redirect = true;
    PollAnswer result;
    result.answer = link.web.Request(url, options);
    result.code = ExtractBetween(result.answer, "window.code=", ";");
    return result;
}

void ReportScan(const ServiceLink& link, const Session& session) {
    PostStatusReport(link, session, REPORT_FIRST, false);
    PostStatusReport(link, session, REPORT_SECOND, false);
}

bool CompleteLogin(const ServiceLink& link, std::string_view poll_answer, Session& session) {
    std::string url = ExtractBetween(poll_answer, R"(=")", "\"");
    if (url.empty()) {
        return false;
    }
    AddFunIfMissing(url);

    platform::RequestOptions first;
    const std::string cookie_header = session.cookies;
    first.cookie_header = cookie_header;
    first.cookie_jar = &session.cookies;
    first.no_redirect = true;
    std::int64_t t0 = link.clock.TickMs();
    std::string answer = link.web.Request(url, first);

    if (answer.find("window.location.href=") != std::string::npos) {
        url = ExtractBetween(answer, R"(=")", "\"");
        AddFunIfMissing(url);
        platform::RequestOptions second;
        second.cookie_jar = &session.cookies;
        second.no_redirect = true;
        t0 = link.clock.TickMs();
        answer = link.web.Request(url, second);
    }
    session.Delay = std::to_string(link.clock.TickMs() - t0);

    // The service sent <message>OK</message> until 2016 and an empty message since; only
    // the return code says whether the login went through.
    if (answer.find("<ret>0</ret>") == std::string::npos) {
        return false;
    }
    const std::string uin = ExtractBetween(answer, "<wxuin>", "</wxuin>");
    const std::string sid = ExtractBetween(answer, "<wxsid>", "</wxsid>");
    if (uin.empty() || sid.empty()) {
        // Without them webwxinit could never succeed.
        return false;
    }
    session.fun = FunFromUrl(link.profile, url);
    session.uin = uin;
    session.sid = sid;
    session.pass_ticket = ExtractBetween(answer, "<pass_ticket>", "</pass_ticket>");
    std::string skey = ExtractBetween(answer, "<skey>", "</skey>");
    std::erase(skey, '@');
    session.skey = std::move(skey);
    session.deviceid = std::string(DEVICE_ID);

    PostStatusReport(link, session, REPORT_THIRD, true);
    return true;
}

bool InitSession(const ServiceLink& link, ProtocolState& state) {
    const Session& session = state.session;
    const std::string url =
        WebUrl(link.profile, session.fun) + FillTemplate(INIT_PATH, state, link.clock);
    const std::string body = FillTemplate(INIT_BODY, state, link.clock);
    platform::RequestOptions options;
    options.method = "post";
    options.body = body;
    options.cookie_header = session.cookies;
    options.timeout_s = INIT_TIMEOUT_S;
    state.init_answer = platform::Utf8ToGbk(link.web.Request(url, options));
    if (state.init_answer.find(R"(Ret": 0)") == std::string::npos) {
        return false;
    }
    UpdateSyncKey(state.init_answer, state.sync_key);
    ParseOwnProfile(link.profile, session.fun, state.init_answer, state.own);
    return true;
}

void ParseOwnProfile(const ServiceProfile& profile, std::string_view fun,
                     std::string_view init_answer, OwnProfile& own) {
    // The account's "User" object follows the SyncKey; the contacts before it hold the
    // same keys.
    const std::size_t sync_key = platform::FindGbk(init_answer, R"("SyncKey": )");
    if (sync_key == std::string_view::npos) {
        return;
    }
    const std::size_t start = sync_key + 1;
    own.Uin = ExtractBetween(init_answer, R"(Uin": )", ",", start);
    const std::string head = ExtractBetween(init_answer, R"("HeadImgUrl": ")", "\"", start);
    own.HeadImgUrl = head.empty() ? std::string() : WebUrl(profile, fun) + head;
    own.UserName = ExtractBetween(init_answer, R"("UserName": ")", "\"", start);
    own.NickName = StripSpanTags(ExtractJsonString(init_answer, R"("NickName": ")", start));
    own.Signature = StripSpanTags(ExtractJsonString(init_answer, R"("Signature": ")", start));
    const std::string sex = ExtractBetween(init_answer, R"("Sex": )", ",", start);
    own.Sex = platform::Utf8ToGbk(sex == "1" ? "男" : "女");
}

}  // namespace zelmo::protocol
