#include "protocol/LoginFlow.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/Encoding.h"
#include "platform/GbkText.h"
#include "protocol/InitAnswer.h"
#include "protocol/Templates.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

namespace {

constexpr int QR_ATTEMPTS = 10;
// The pause after the n-th failed attempt is n times this, up to the cap: a fault that
// lasts a while is outlasted, and a failing network is not hammered.
constexpr int QR_PAUSE_STEP_MS = 1000;
constexpr int QR_PAUSE_MAX_MS = 5000;
constexpr std::size_t MAX_UIN_DIGITS = 20;
constexpr int QR_TIMEOUT_S = 2;
constexpr int POLL_TIMEOUT_S = 30;
constexpr int INIT_TIMEOUT_S = 90;

constexpr std::string_view APP_ID = "wx782c26e4c19acffb";
constexpr std::string_view NEW_LOGIN_PAGE = "%2Fcgi-bin%2Fmmwebwx-bin%2Fwebwxnewloginpage";
// "?mod=desktop", encoded like the rest of the redirect target.
constexpr std::string_view DESKTOP_QUERY = "%3Fmod%3Ddesktop";
constexpr std::string_view DESKTOP_CLIENT_VERSION = "client-version: 2.0.0";
constexpr std::size_t MAX_REFUSAL_BYTES = 2048;
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

    const std::string target =
        "https%3A%2F%2F" + WebHost(link.profile, "") + std::string(NEW_LOGIN_PAGE) +
        std::string(session.login_mode == LoginMode::Desktop ? DESKTOP_QUERY : "");
    const std::string jslogin = LoginUrl(link.profile) + "/jslogin?appid=" + std::string(APP_ID) +
                                "&redirect_uri=" + target +
                                "&fun=new&lang=zh_CN&_=" + TimeStamp(link.clock);
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
    // An error page, garbage or a cut-off image would be shown as a blank picture.
    if (!IsImage(session.qr_image)) {
        session.qr_image.clear();
        session.qr_image.shrink_to_fit();
        return false;
    }
    return true;
}

bool EndsWith(std::string_view bytes, std::string_view tail) {
    return bytes.size() >= tail.size() && bytes.substr(bytes.size() - tail.size()) == tail;
}

}  // namespace

bool IsImage(std::string_view bytes) {
    using namespace std::string_view_literals;
    constexpr std::string_view PNG_SIGNATURE = "\x89PNG\r\n\x1a\n";
    constexpr std::string_view PNG_END = "\0\0\0\0IEND\xae\x42\x60\x82"sv;
    constexpr std::string_view JPEG_SIGNATURE = "\xff\xd8\xff";
    constexpr std::string_view JPEG_END = "\xff\xd9";
    if (bytes.starts_with(PNG_SIGNATURE)) {
        return bytes.size() >= PNG_SIGNATURE.size() + PNG_END.size() && EndsWith(bytes, PNG_END);
    }
    if (bytes.starts_with(JPEG_SIGNATURE)) {
        return bytes.size() >= JPEG_SIGNATURE.size() + JPEG_END.size() && EndsWith(bytes, JPEG_END);
    }
    // The six signature bytes and the seven of the screen descriptor, then the trailer.
    constexpr std::size_t GIF_HEAD = 13;
    if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) {
        return bytes.size() > GIF_HEAD && bytes.back() == ';';
    }
    return false;
}

void FetchQrCode(const ServiceLink& link, Session& session, const platform::Pause& pause) {
    session.login_mode = link.profile.login_mode;
    for (int attempt = 1; attempt <= QR_ATTEMPTS; ++attempt) {
        if (FetchOnce(link, session) || link.web.Stopped()) {
            return;
        }
        if (attempt < QR_ATTEMPTS && pause &&
            !pause(std::min(attempt * QR_PAUSE_STEP_MS, QR_PAUSE_MAX_MS))) {
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

std::string RedirectUrlOf(std::string_view answer) {
    std::string url = ExtractBetween(answer, R"(=")", "\"");
    if (!url.empty()) {
        AddFunIfMissing(url);
    }
    return url;
}

bool IsUin(std::string_view text) {
    return !text.empty() && text.size() <= MAX_UIN_DIGITS &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<LoginCredentials> ParseRedirectAnswer(std::string_view answer) {
    // The service sent <message>OK</message> until 2016 and an empty message since; only
    // the return code says whether the login went through.
    if (answer.find("<ret>0</ret>") == std::string_view::npos) {
        return std::nullopt;
    }
    LoginCredentials credentials;
    credentials.uin = ExtractBetween(answer, "<wxuin>", "</wxuin>");
    credentials.sid = ExtractBetween(answer, "<wxsid>", "</wxsid>");
    // Without them webwxinit could never succeed; and the Uin becomes a folder name.
    if (!IsUin(credentials.uin) || credentials.sid.empty()) {
        return std::nullopt;
    }
    credentials.pass_ticket = ExtractBetween(answer, "<pass_ticket>", "</pass_ticket>");
    credentials.skey = ExtractBetween(answer, "<skey>", "</skey>");
    std::erase(credentials.skey, '@');
    return credentials;
}

std::optional<LoginRefusal> ParseRefusal(std::string_view answer) {
    const std::string ret = ExtractBetween(answer, "<ret>", "</ret>");
    const std::string_view digits = std::string_view(ret).substr(ret.starts_with('-') ? 1 : 0);
    constexpr std::size_t MAX_DIGITS = 10;
    if (digits.empty() || digits.size() > MAX_DIGITS ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        ret == "0") {
        return std::nullopt;
    }
    LoginRefusal refusal;
    refusal.ret = ret;
    const std::string message =
        platform::Utf8ToGbk(ExtractBetween(answer, "<message>", "</message>"));
    refusal.message = platform::TruncateGbk(DecodeHtmlEntities(message), MAX_REFUSAL_BYTES);
    return refusal;
}

bool CompleteLogin(const ServiceLink& link, std::string_view poll_answer, Session& session,
                   std::optional<LoginRefusal>* refusal) {
    if (refusal != nullptr) {
        refusal->reset();
    }
    std::string url = RedirectUrlOf(poll_answer);
    if (url.empty()) {
        return false;
    }
    // Both redirect rows of a desktop-mode cycle carry the desktop client's header lines.
    const std::string extspam = "extspam: " + link.profile.extspam;
    const std::array<std::string_view, 2> desktop_headers = {DESKTOP_CLIENT_VERSION, extspam};
    const std::span<const std::string_view> extra_headers =
        session.login_mode == LoginMode::Desktop
            ? std::span<const std::string_view>(desktop_headers)
            : std::span<const std::string_view>();

    platform::RequestOptions first;
    const std::string cookie_header = session.cookies;
    first.cookie_header = cookie_header;
    first.cookie_jar = &session.cookies;
    first.no_redirect = true;
    first.extra_headers = extra_headers;
    std::int64_t t0 = link.clock.TickMs();
    std::string answer = link.web.Request(url, first);

    if (answer.find("window.location.href=") != std::string::npos) {
        url = RedirectUrlOf(answer);
        platform::RequestOptions second;
        second.cookie_jar = &session.cookies;
        second.no_redirect = true;
        second.extra_headers = extra_headers;
        t0 = link.clock.TickMs();
        answer = link.web.Request(url, second);
    }
    session.Delay = std::to_string(link.clock.TickMs() - t0);

    std::optional<LoginCredentials> credentials = ParseRedirectAnswer(answer);
    if (!credentials) {
        if (refusal != nullptr) {
            *refusal = ParseRefusal(answer);
        }
        return false;
    }
    session.fun = FunFromUrl(link.profile, url);
    session.uin = std::move(credentials->uin);
    session.sid = std::move(credentials->sid);
    session.pass_ticket = std::move(credentials->pass_ticket);
    session.skey = std::move(credentials->skey);
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
    state.init_answer = link.web.Request(url, options);
    // A cut-off or padded answer may say Ret 0 and hold little else: a session without a
    // SyncKey or an own UserName could neither sync nor send.
    InitAnswer read = ReadInitAnswer(link.profile, session.fun, state.init_answer);
    if (read.ret != "0" || !read.sync_key || !read.own) {
        return false;
    }
    state.sync_key = std::move(*read.sync_key);
    state.own = std::move(*read.own);
    return true;
}

}  // namespace zelmo::protocol
