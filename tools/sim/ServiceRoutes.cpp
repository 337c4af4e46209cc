#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

#include "sim/DesktopLogin.h"
#include "sim/GzipText.h"
#include "sim/QrPng.h"
#include "sim/RouteChecks.h"
#include "sim/SimulatorImpl.h"
#include "sim/Tokens.h"

namespace sim {

HttpResponse Text(std::string body, std::string content_type) {
    HttpResponse response;
    response.headers.emplace_back("Content-Type", std::move(content_type));
    response.body = std::move(body);
    return response;
}

namespace {

using Impl = Simulator::Impl;

constexpr std::string_view WEBWX = "/cgi-bin/mmwebwx-bin/";

bool AcceptsGzip(const HttpRequest& request) {
    return HeaderValue(request.headers, "Accept-Encoding").find("gzip") != std::string::npos;
}

// Large answers go out compressed when the client accepts it, as the service did.
HttpResponse Large(const HttpRequest& request, std::string body) {
    HttpResponse response = Text(std::move(body));
    if (AcceptsGzip(request)) {
        response.body = GzipCompress(response.body);
        response.headers.emplace_back("Content-Encoding", "gzip");
    }
    return response;
}

std::string CookieDate(std::int64_t unix_seconds) {
    const std::time_t when = static_cast<std::time_t>(unix_seconds);
    std::tm parts{};
    gmtime_r(&when, &parts);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%a, %d-%b-%Y %H:%M:%S GMT", &parts);
    return buffer;
}

bool IsDeviceId(const std::string& text) {
    return text.size() == 16 && text[0] == 'e' &&
           std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The Ret other calls give once the session ended: webwxinit names the end as synccheck
// does; the rest call a session with invalid cookies invalid (1101).
int EndedRet(int retcode, bool init) {
    return retcode == 1102 && !init ? 1101 : retcode;
}

}  // namespace

std::string JsonScalarText(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_number_integer()) {
        return std::to_string(value.get<std::int64_t>());
    }
    return value.dump();
}

// Validates host, login, cookies, query credentials and the BaseRequest envelope.
// Returns the Ret to answer with (0: fine). Caller holds the mutex.
int CheckSession(Impl& impl, const HttpRequest& request, const std::string& host,
                 const Check& check, Json& body) {
    const std::string where = request.path.substr(request.path.rfind('/') + 1);
    if (check.envelope != Envelope::None) {
        body = Json::parse(request.body, nullptr, false);
        if (body.is_discarded() || !body.is_object()) {
            impl.ViolationLocked(where + ": body is not valid JSON");
            return -1;
        }
    }
    if (!impl.session.logged_in) {
        impl.ViolationLocked(where + ": request before login");
        return 1100;
    }
    const std::string& expected = check.host == nullptr ? impl.web_variant : *check.host;
    if (host != expected) {
        impl.ViolationLocked(where + ": sent to host " + host + " instead of " + expected);
        return 1;
    }
    const bool init = where == "webwxinit";
    const std::string& cookie = HeaderValue(request.headers, "Cookie");
    const SessionInfo* known = impl.SessionOfCookiesLocked(cookie);
    if (known != nullptr && known != &impl.session) {
        // Tokens a client kept from a session that a later login replaced.
        return EndedRet(known->ended_retcode, init);
    }
    if (known == nullptr) {
        impl.ViolationLocked(where + ": session cookies missing or wrong");
        return 1100;
    }
    if (check.skey_in_query &&
        QueryValue(request.query, "skey") != "%40" + impl.session.skey.substr(1)) {
        impl.ViolationLocked(where + ": skey in the URL does not match");
        return 1101;
    }
    if (check.pass_ticket) {
        const std::string ticket = QueryValue(request.query, "pass_ticket");
        if (ticket != impl.session.pass_ticket &&
            !(check.undefined_ticket_ok && ticket == "undefined")) {
            impl.ViolationLocked(where + ": stale or missing pass_ticket");
            return 1101;
        }
    }
    if (check.envelope == Envelope::None ||
        (check.envelope == Envelope::Optional && !body.contains("BaseRequest"))) {
        return EndedRet(impl.session.ended_retcode, init);
    }
    const auto base = body.find("BaseRequest");
    if (base == body.end() || !base->is_object()) {
        impl.ViolationLocked(where + ": BaseRequest missing");
        return -1;
    }
    const bool needs_key = check.envelope != Envelope::Sync;
    const auto field = [&](const char* key) {
        const auto it = base->find(key);
        return it == base->end() ? std::string("\x01missing") : JsonScalarText(*it);
    };
    if (field("Uin") != impl.session.uin || field("Sid") != impl.session.sid) {
        impl.ViolationLocked(where + ": BaseRequest Uin or Sid does not match");
        return 1101;
    }
    if (needs_key || base->contains("Skey")) {
        if (field("Skey") != impl.session.skey) {
            impl.ViolationLocked(where + ": BaseRequest Skey does not match");
            return 1101;
        }
    }
    if (needs_key || base->contains("DeviceID")) {
        const std::string device = field("DeviceID");
        if (!IsDeviceId(device)) {
            impl.ViolationLocked(where + ": BaseRequest DeviceID malformed");
            return 1101;
        }
        if (impl.session.device_id.empty()) {
            impl.session.device_id = device;
        } else if (device != impl.session.device_id) {
            impl.ViolationLocked(where + ": DeviceID changed within the session");
            return 1101;
        }
    }
    return EndedRet(impl.session.ended_retcode, init);
}

namespace {

bool IsDigits(const std::string& text, std::size_t length) {
    return text.size() == length &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The service may take a repeated id for a resend. The 17-digit shape (milliseconds and a
// counter) is required only once the client has used it in this session.
}  // namespace

void CheckMessageIdsLocked(Simulator::Impl& impl, const SentMessage& sent, std::string_view where) {
    const auto check = [&](const std::string& id, std::set<std::string>& used, const char* name) {
        if (id.empty()) {
            return;
        }
        if (!used.insert(id).second) {
            impl.ViolationLocked(std::string(where) + ": " + name + " " + id +
                                 " was already used by an accepted send");
        }
        if (IsDigits(id, 17)) {
            impl.seventeen_digit_ids = true;
        } else if (impl.seventeen_digit_ids) {
            impl.ViolationLocked(std::string(where) + ": " + name + " " + id + " is not 17 digits");
        }
    };
    check(sent.client_msg_id, impl.accepted_client_ids, "ClientMsgId");
    check(sent.local_id, impl.accepted_local_ids, "LocalID");
}

namespace {

bool ParseSyncKeyJson(const Json& value, SyncKeyList& key) {
    if (!value.is_object() || !value.contains("List") || !value["List"].is_array()) {
        return false;
    }
    for (const Json& item : value["List"]) {
        if (!item.is_object() || !item.contains("Key") || !item.contains("Val") ||
            !item["Key"].is_number_integer() || !item["Val"].is_number_integer()) {
            return false;
        }
        key.emplace_back(item["Key"].get<int>(), item["Val"].get<std::int64_t>());
    }
    return value.value("Count", -1) == static_cast<int>(key.size());
}

bool ParseSyncKeyText(const std::string& raw, SyncKeyList& key) {
    const std::string text = UrlDecode(raw);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('|', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = text.substr(pos, end - pos);
        const std::size_t bar = item.find('_');
        if (bar == std::string::npos) {
            return false;
        }
        try {
            key.emplace_back(std::stoi(item.substr(0, bar)), std::stoll(item.substr(bar + 1)));
        } catch (...) {
            return false;
        }
        pos = end + 1;
    }
    return !key.empty();
}

// The log keeps a body's start only: upload chunks are kept whole by the upload itself, and
// a copy of each would slow the simulator below the client it measures.
constexpr std::size_t MAX_RECORDED_BODY = 64u << 10;

}  // namespace

HttpResponse Impl::Handle(HttpRequest& request) {
    std::string host;
    const Fault fault = Record(request, host);
    return Respond(request, host, fault);
}

Fault Impl::Record(const HttpRequest& request, std::string& host) {
    host = HeaderValue(request.headers, "Host");
    host = host.substr(0, host.find(':'));
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    Fault fault;
    {
        std::lock_guard lock(mutex);
        RecordedRequest record;
        record.method = request.method;
        record.host = host;
        record.sni = request.sni;
        record.path = request.path;
        record.query = request.query;
        record.body = request.body.substr(0, MAX_RECORDED_BODY);
        record.body_size = request.body.size();
        record.cookie = HeaderValue(request.headers, "Cookie");
        record.headers = request.headers;
        record.at_ms = NowMs();
        requests.push_back(std::move(record));
        const std::string target = request.path + "?" + request.query;
        for (auto it = faults.begin(); it != faults.end(); ++it) {
            // A key with a "?" also sees the query: "/?lang=" names only the home page.
            const std::string& seen =
                it->first.find('?') == std::string::npos ? request.path : target;
            if (seen.find(it->first) != std::string::npos) {
                fault = it->second;
                if (!fault.sticky && --it->second.times <= 0) {
                    faults.erase(it);
                }
                break;
            }
        }
    }
    request_seen.notify_all();
    return fault;
}

HttpResponse Impl::Respond(const HttpRequest& request, const std::string& host,
                           const Fault& fault) {
    switch (fault.kind) {
        case FaultKind::None:
        case FaultKind::TruncatedGzip:
        case FaultKind::CutBeforeSyncKey:
        case FaultKind::CutBody:
            break;
        case FaultKind::Delay: {
            std::unique_lock lock(mutex);
            state_changed.wait_for(lock, std::chrono::milliseconds(fault.delay_ms),
                                   [this] { return stopping; });
            break;
        }
        case FaultKind::Reset: {
            HttpResponse response;
            response.reset = true;
            return response;
        }
        case FaultKind::Empty200:
            return Text("");
        case FaultKind::Http500: {
            HttpResponse response =
                Text("<html><body>500 Internal Server Error</body></html>", "text/html");
            response.status = 500;
            return response;
        }
        case FaultKind::InvalidGzip: {
            HttpResponse response = Text("this is not a gzip stream at all");
            response.headers.emplace_back("Content-Encoding", "gzip");
            return response;
        }
        case FaultKind::Garbage: {
            std::string bytes(4096, '\0');
            std::lock_guard lock(mutex);
            for (char& c : bytes) {
                c = static_cast<char>(random() & 0xFF);
            }
            return Text(std::move(bytes));
        }
        case FaultKind::Huge: {
            std::string filler;
            filler.reserve(fault.huge_bytes);
            static constexpr std::string_view PATTERN = "\"Ret\": 0,\n\"MsgId\": \"0\",\n";
            while (filler.size() < fault.huge_bytes) {
                filler.append(
                    PATTERN.substr(0, std::min(PATTERN.size(), fault.huge_bytes - filler.size())));
            }
            return Text(std::move(filler));
        }
    }
    HttpResponse response = Route(request, host);
    if (fault.kind == FaultKind::TruncatedGzip) {
        std::string packed = HeaderValue(response.headers, "Content-Encoding") == "gzip"
                                 ? response.body
                                 : GzipCompress(response.body);
        packed.resize(packed.size() / 2);
        response.body = std::move(packed);
        std::erase_if(response.headers,
                      [](const auto& header) { return header.first == "Content-Encoding"; });
        response.headers.emplace_back("Content-Encoding", "gzip");
    }
    if (fault.kind == FaultKind::CutBody) {
        response.cut_at = response.body.size() / 2;
    }
    if (fault.kind == FaultKind::CutBeforeSyncKey) {
        const bool packed = HeaderValue(response.headers, "Content-Encoding") == "gzip";
        std::string text = packed ? GzipDecompress(response.body) : response.body;
        const std::size_t key = text.find("\"SyncKey\": ");
        text.resize(key == std::string::npos ? text.size() / 2 : key);
        response.body = packed ? GzipCompress(text) : std::move(text);
    }
    return response;
}

HttpResponse Impl::Route(const HttpRequest& request, const std::string& host) {
    const std::string& path = request.path;
    const bool web = host == web_primary || host == web_variant;
    if (path == "/v1/chat/completions") {
        return ChatCompletions(request);
    }
    if (host == login_host) {
        if (path == "/jslogin") {
            return JsLogin(request);
        }
        if (path.rfind("/qrcode/", 0) == 0) {
            return QrImage(request);
        }
        if (path == "/cgi-bin/mmwebwx-bin/login") {
            return LoginPoll(request);
        }
    } else if (host == push_primary || host == push_variant) {
        if (path == "/cgi-bin/mmwebwx-bin/synccheck") {
            return SyncCheck(request, host);
        }
    } else if (host == file_primary || host == file_variant) {
        if (path == "/cgi-bin/mmwebwx-bin/webwxuploadmedia") {
            return UploadMedia(request, host);
        }
        if (path == "/cgi-bin/mmwebwx-bin/webwxgetmedia") {
            return FileDownload(request, host);
        }
    } else if (web) {
        if (path == "/" && host == web_primary) {
            return HomePage();
        }
        if (path.rfind(WEBWX, 0) == 0) {
            const std::string name = path.substr(WEBWX.size());
            if (name == "webwxstatreport") {
                return StatReport(request, host);
            }
            if (name == "webwxnewloginpage") {
                return NewLoginPage(request, host);
            }
            if (name == "webwxinit") {
                return WebwxInit(request, host);
            }
            if (name == "webwxsync") {
                return WebwxSync(request, host);
            }
            if (name == "webwxgetcontact") {
                return GetContact(request, host);
            }
            if (name == "webwxbatchgetcontact") {
                return BatchGetContact(request, host);
            }
            if (name == "webwxstatusnotify") {
                return StatusNotify(request, host);
            }
            if (name == "webwxsendmsg") {
                return SendMsg(request, host);
            }
            if (name == "webwxoplog") {
                return OpLog(request, host);
            }
            if (name == "webwxrevokemsg") {
                return RevokeMsg(request, host);
            }
            if (name == "webwxlogout") {
                return Logout(request, host);
            }
            if (name == "webwxpushloginurl") {
                return PushLoginUrl(request, host);
            }
            if (name == "webwxgeticon" || name == "webwxgetheadimg") {
                return HeadImage(request);
            }
            if (name == "webwxgetmsgimg" || name == "webwxgetvoice" || name == "webwxgetvideo") {
                return MediaDownload(request, host, name);
            }
            if (name == "webwxcheckupload") {
                return CheckUpload(request, host);
            }
            if (name == "webwxsendmsgimg" || name == "webwxsendvideomsg" ||
                name == "webwxsendappmsg" || name == "webwxsendemoticon") {
                return SendMedia(request, host, name);
            }
        }
    }
    {
        std::lock_guard lock(mutex);
        ViolationLocked("unknown endpoint " + host + path);
    }
    HttpResponse response = Text("", "text/html");
    response.status = 404;
    return response;
}

HttpResponse Impl::HomePage() {
    HttpResponse response = Text(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>微信网页版</title></head>"
        "<body></body></html>",
        "text/html; charset=utf-8");
    const std::string expires = CookieDate(UnixNow() + 86400);
    for (const char* pair : {"MM_WX_NOTIFY_STATE=1", "MM_WX_SOUND_STATE=1"}) {
        response.headers.emplace_back("Set-Cookie", std::string(pair) + "; Domain=" + web_primary +
                                                        "; Path=/; Expires=" + expires);
    }
    return response;
}

HttpResponse Impl::JsLogin(const HttpRequest& request) {
    HttpResponse response;
    response.headers = {{"Content-Type", "text/javascript"},
                        {"Content-Type", "text/html; charset=gbk"},
                        {"Cache-Control", "no-cache, must-revalidate"}};
    std::lock_guard lock(mutex);
    if (QueryValue(request.query, "appid") != "wx782c26e4c19acffb") {
        ViolationLocked("jslogin: unknown appid");
        response.body = JsLoginError();
        return response;
    }
    // The target stays percent-encoded inside the parameter, its own query included.
    const std::string target = QueryValue(request.query, "redirect_uri");
    const std::string decoded = UrlDecode(target);
    const std::size_t question = decoded.find('?');
    const bool desktop = question != std::string::npos &&
                         decoded.find(DESKTOP_MODE_QUERY, question) != std::string::npos;
    if (target.find_first_of("?/:") != std::string::npos) {
        ViolationLocked("jslogin: redirect_uri is not percent-encoded");
    }
    StartLoginCycleLocked(desktop);
    response.body = JsLoginAnswer(uuid);
    return response;
}

HttpResponse Impl::QrImage(const HttpRequest& request) {
    const std::string requested = request.path.substr(std::string_view("/qrcode/").size());
    {
        std::lock_guard lock(mutex);
        if (requested != uuid) {
            ViolationLocked("qrcode: unknown uuid");
            HttpResponse missing = Text("", "text/html");
            missing.status = 404;
            return missing;
        }
    }
    return Text(QrCodePng("https://" + login_host + "/l/" + requested), "image/png");
}

HttpResponse Impl::LoginPoll(const HttpRequest& request) {
    HttpResponse response = Text("", "text/javascript");
    const std::string asked = QueryValue(request.query, "uuid");
    std::unique_lock lock(mutex);
    if (asked.empty() || asked != uuid) {
        ViolationLocked("login poll: unknown uuid");
        response.body = PollAnswer(400);
        return response;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.login_poll_hold_ms);
    for (;;) {
        if (asked != uuid || login == Login::Expired || login == Login::Done) {
            response.body = PollAnswer(400);
            return response;
        }
        if (login == Login::Confirmed) {
            response.body = PollRedirectAnswer(redirect_url);
            return response;
        }
        if (login == Login::Scanned && !scan_reported) {
            scan_reported = true;
            response.body = PollAnswer(201);
            return response;
        }
        if (stopping || state_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            response.body = PollAnswer(408);
            return response;
        }
    }
}

HttpResponse Impl::StatReport(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    const Json body = Json::parse(request.body, nullptr, false);
    if (host != web_primary) {
        ViolationLocked("webwxstatreport: sent to " + host + " instead of the primary host");
    }
    if (body.is_discarded() || !body.is_object()) {
        ViolationLocked("webwxstatreport: body is not valid JSON");
        return Text(BaseResponseAnswer(-1));
    }
    const auto base = body.find("BaseRequest");
    if (base == body.end() || !base->is_object() || base->value("Uin", -1) != 0 ||
        base->value("Sid", -1) != 0) {
        ViolationLocked("webwxstatreport: BaseRequest is not {\"Uin\":0,\"Sid\":0}");
        return Text(BaseResponseAnswer(-1));
    }
    return Text(BaseResponseAnswer(0));
}

HttpResponse Impl::NewLoginPage(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    const std::string given = QueryValue(request.query, "ticket");
    const bool first = login == Login::Confirmed && !ticket.empty() && given == ticket;
    const bool second =
        login == Login::Confirmed && !second_ticket.empty() && given == second_ticket;
    if (host != web_variant || QueryValue(request.query, "uuid") != uuid || (!first && !second)) {
        ViolationLocked("webwxnewloginpage: ticket, uuid or host does not match");
        return Text("<error><ret>-14</ret><message>ticket error</message></error>");
    }
    const bool has_version = HasHeader(request.headers, "client-version");
    const bool has_spam = HasHeader(request.headers, "extspam");
    if (cycle_desktop &&
        (HeaderValue(request.headers, "client-version") != DESKTOP_CLIENT_VERSION ||
         HeaderValue(request.headers, "extspam") != DESKTOP_EXTSPAM)) {
        ViolationLocked("webwxnewloginpage: desktop mode without client-version " +
                        std::string(DESKTOP_CLIENT_VERSION) + " and the extspam token");
    } else if (!cycle_desktop && (has_version || has_spam)) {
        ViolationLocked("webwxnewloginpage: web mode sent the desktop headers");
    }
    if (!cycle_desktop && options.refuse_web_login) {
        // The ticket is spent and no session is made: the client must start over.
        ticket.clear();
        second_ticket.clear();
        login = Login::Done;
        ++counts.web_refusals;
        state_changed.notify_all();
        return Text(RedirectRefusalXml(1203, WEB_LOGIN_REFUSAL), "text/plain;charset=utf-8");
    }
    if (first && options.redirect_via_location_href) {
        second_ticket = RandomTicket(random);
        ticket.clear();
        return Text(
            LocationHrefAnswer("https://" + web_variant +
                               "/cgi-bin/mmwebwx-bin/webwxnewloginpage?ticket=" + second_ticket +
                               "&uuid=" + uuid + "&lang=zh_CN&scan=" + std::to_string(UnixNow())),
            "text/html");
    }
    ticket.clear();
    second_ticket.clear();
    login = Login::Done;
    if (session.logged_in) {
        // A new login ends the one before: its tokens now meet "logged in elsewhere".
        past_sessions.push_back(session);
        if (past_sessions.back().ended_retcode == 0) {
            past_sessions.back().ended_retcode = 1101;
        }
    }
    if (counts.logins > 0) {
        RenameAtLoginLocked();
    }
    session.uuid = uuid;
    session.fun = scenario.fun;
    session.uin = std::to_string(scenario.account.uin);
    session.sid = RandomSid(random);
    session.skey = RandomSkey(random);
    session.pass_ticket = RandomPassTicket(random);
    session.data_ticket = RandomBase64(random, 64);
    session.user_name = scenario.account.user_name;
    session.device_id.clear();
    session.logged_in = true;
    session.ended_retcode = 0;
    session.desktop = cycle_desktop;
    accepted_client_ids.clear();
    accepted_local_ids.clear();
    seventeen_digit_ids = false;
    ++counts.logins;
    // A push login continues the account's life: the scripted events go on where they were.
    if (!cycle_push) {
        session_start_ms = NowMs();
        next_event = 0;
    }
    state_changed.notify_all();

    HttpResponse response =
        Text(RedirectXml(options.era, session.skey, session.sid, session.uin, session.pass_ticket),
             "text/plain;charset=utf-8");
    // Without fun=new the service answered with a redirect and the XML in the body.
    if (!HasQueryKey(request.query, "fun")) {
        response.status = 301;
        response.headers.emplace_back("Location", "/");
    }
    const std::int64_t now = UnixNow();
    const std::string day = "; Expires=" + CookieDate(now + 86400) + "; Secure";
    const std::string decade = "; Expires=" + CookieDate(now + 86400LL * 3650) + "; Secure";
    const std::string domain = "; Domain=" + web_variant + "; Path=/";
    const std::string parent =
        "; Domain=." + web_variant.substr(web_variant.find('.') + 1) + "; Path=/";
    response.headers.emplace_back("Set-Cookie", "wxuin=" + session.uin + domain + day);
    response.headers.emplace_back("Set-Cookie", "wxsid=" + session.sid + domain + day);
    response.headers.emplace_back("Set-Cookie", "wxloadtime=" + std::to_string(now) + domain + day);
    response.headers.emplace_back("Set-Cookie", "mm_lang=zh_CN" + domain + day);
    response.headers.emplace_back("Set-Cookie",
                                  "webwx_data_ticket=" + session.data_ticket + parent + day);
    response.headers.emplace_back("Set-Cookie",
                                  "webwxuvid=" + RandomHex(random, 64) + domain + decade);
    response.headers.emplace_back(
        "Set-Cookie", "webwx_auth_ticket=" + RandomBase64(random, 64) + domain + decade);
    return response;
}

HttpResponse Impl::WebwxInit(const HttpRequest& request, const std::string& host) {
    std::string answer;
    {
        std::lock_guard lock(mutex);
        Json body;
        InitData data;
        data.ret = CheckSession(*this, request, host, Check{Envelope::Init}, body);
        if (data.ret == 0) {
            data.account = AccountLocked();
            for (const ContactSpec& contact : contacts) {
                if (contact.in_init) {
                    data.contacts.push_back(&contact);
                }
            }
            // The init key acknowledges nothing: news waiting since the login come in the
            // first webwxsync.
            std::uint64_t acked = news.empty() ? LastSeqLocked() : news.front().seq - 1;
            data.sync_key = SyncKeyFor(acked);
            data.skey = session.skey;
            data.system_time = UnixNow();
            session_init_ms = NowMs();
            state_changed.notify_all();
        }
        answer = InitAnswer(options.era, data);
    }
    return Large(request, std::move(answer));
}

HttpResponse Impl::SyncCheck(const HttpRequest& request, const std::string& host) {
    HttpResponse response = Text("", "text/javascript");
    response.headers.emplace_back("Access-Control-Allow-Origin", "*");
    std::unique_lock lock(mutex);
    const auto answer = [&](const std::string& retcode, const std::string& selector) {
        response.body = SyncCheckAnswer(retcode, selector);
        return response;
    };
    if (!session.logged_in) {
        ViolationLocked("synccheck: before login");
        return answer("1100", "0");
    }
    if (host != push_variant) {
        ViolationLocked("synccheck: sent to " + host + " instead of " + push_variant);
        return answer("1100", "0");
    }
    const std::string& cookie = HeaderValue(request.headers, "Cookie");
    const SessionInfo* known = SessionOfCookiesLocked(cookie);
    if (known != nullptr && known != &session) {
        return answer(std::to_string(known->ended_retcode), "0");
    }
    if (CookieValue(cookie, "wxuin") != session.uin ||
        CookieValue(cookie, "wxsid") != session.sid) {
        ViolationLocked("synccheck: session cookies missing or wrong");
        return answer("1102", "0");
    }
    if (QueryValue(request.query, "skey") != "%40" + session.skey.substr(1) ||
        QueryValue(request.query, "sid") != session.sid ||
        QueryValue(request.query, "uin") != session.uin ||
        !IsDeviceId(QueryValue(request.query, "deviceid"))) {
        ViolationLocked("synccheck: skey, sid, uin or deviceid does not match");
        return answer("1101", "0");
    }
    SyncKeyList key;
    std::uint64_t seq = 0;
    if (!ParseSyncKeyText(QueryValue(request.query, "synckey"), key) || !SeqOfSyncKey(key, seq)) {
        ViolationLocked("synccheck: synckey was never issued");
        seq = news.empty() ? LastSeqLocked() : news.front().seq - 1;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.synccheck_hold_ms);
    for (;;) {
        if (session.ended_retcode != 0) {
            return answer(std::to_string(session.ended_retcode), "0");
        }
        if (forced_left != 0) {
            forced_left -= forced_left > 0 ? 1 : 0;
            return answer(forced_retcode, forced_selector);
        }
        for (const News& item : news) {
            if (item.seq > seq) {
                return answer("0", item.selector);
            }
        }
        if (stopping || state_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            return answer("0", "0");
        }
    }
}

HttpResponse Impl::WebwxSync(const HttpRequest& request, const std::string& host) {
    std::string answer;
    {
        std::lock_guard lock(mutex);
        Json body;
        SyncData data;
        data.ret = CheckSession(*this, request, host, Check{Envelope::Sync}, body);
        SyncKeyList key;
        std::uint64_t seq = 0;
        if (data.ret == 0 && (!body.contains("SyncKey") ||
                              !ParseSyncKeyJson(body["SyncKey"], key) || !SeqOfSyncKey(key, seq))) {
            ViolationLocked("webwxsync: SyncKey missing or never issued");
            data.ret = -1;
        }
        if (data.ret == 0 && (!body.contains("rr") || !body["rr"].is_number())) {
            ViolationLocked("webwxsync: rr missing");
        }
        SyncNews fresh;
        if (data.ret == 0) {
            // Everything up to the key the client sent has been received: drop it.
            const std::int64_t now = NowMs();
            while (!news.empty() && news.front().seq <= seq) {
                if (news.front().is_message) {
                    deliveries[news.front().record].used_up_ms = now;
                }
                news.pop_front();
            }
            for (const News& item : news) {
                if (item.is_message) {
                    fresh.messages.push_back(item.message);
                    DeliveryRecord& record = deliveries[item.record];
                    if (record.deliveries++ == 0) {
                        record.first_delivered_ms = now;
                    }
                } else {
                    fresh.changes.push_back(item.change);
                }
            }
            data.news = &fresh;
            data.account = AccountLocked();
            data.sync_key = SyncKeyFor(LastSeqLocked());
        }
        answer = SyncAnswer(options.era, data);
    }
    return Large(request, std::move(answer));
}

HttpResponse Impl::GetContact(const HttpRequest& request, const std::string& host) {
    std::string answer;
    {
        std::lock_guard lock(mutex);
        Json body;
        const int ret = CheckSession(*this, request, host, Check{Envelope::Optional}, body);
        std::vector<const ContactSpec*> list;
        if (ret == 0) {
            for (const ContactSpec& contact : contacts) {
                list.push_back(&contact);
            }
        }
        answer = GetContactAnswer(options.era, ret, list, session.skey);
    }
    return Large(request, std::move(answer));
}

HttpResponse Impl::BatchGetContact(const HttpRequest& request, const std::string& host) {
    std::string answer;
    {
        std::lock_guard lock(mutex);
        Json body;
        Check check{Envelope::Full};
        check.undefined_ticket_ok = true;
        int ret = CheckSession(*this, request, host, check, body);
        std::vector<const ContactSpec*> list;
        if (ret == 0) {
            const auto items = body.find("List");
            if (items == body.end() || !items->is_array() ||
                body.value("Count", -1) != static_cast<int>(items->size())) {
                ViolationLocked("webwxbatchgetcontact: Count and List do not agree");
                ret = -1;
            } else {
                for (const Json& item : *items) {
                    const std::string name =
                        item.is_object() ? item.value("UserName", std::string()) : "";
                    for (const ContactSpec& contact : contacts) {
                        if (contact.user_name == name) {
                            list.push_back(&contact);
                        }
                    }
                }
            }
        }
        answer = BatchGetContactAnswer(options.era, ret, list, session.skey);
    }
    return Large(request, std::move(answer));
}

HttpResponse Impl::StatusNotify(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    int ret = CheckSession(*this, request, host, Check{Envelope::Full}, body);
    if (ret == 0 && (body.value("Code", -1) != 3 ||
                     body.value("FromUserName", std::string()) != session.user_name ||
                     body.value("ToUserName", std::string()) != session.user_name)) {
        ViolationLocked("webwxstatusnotify: Code or user names wrong");
        ret = -1;
    }
    const std::string msg_id = RandomDigits(random, 19);
    return Text(StatusNotifyAnswer(ret, msg_id));
}

HttpResponse Impl::SendMsg(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    int ret = CheckSession(*this, request, host, Check{Envelope::Full}, body);
    SentMessage sent_message;
    sent_message.at_ms = NowMs();
    std::string local_id;
    if (ret == 0) {
        const auto msg = body.find("Msg");
        if (msg == body.end() || !msg->is_object() || !msg->contains("Content") ||
            !(*msg)["Content"].is_string()) {
            ViolationLocked("webwxsendmsg: Msg missing or malformed");
            ret = -1;
        } else {
            sent_message.from = msg->value("FromUserName", std::string());
            sent_message.to = msg->value("ToUserName", std::string());
            sent_message.content = (*msg)["Content"].get<std::string>();
            sent_message.type = msg->value("Type", 0);
            if (msg->contains("ClientMsgId")) {
                sent_message.client_msg_id = JsonScalarText((*msg)["ClientMsgId"]);
            }
            if (msg->contains("LocalID")) {
                sent_message.local_id = JsonScalarText((*msg)["LocalID"]);
            }
            local_id = sent_message.local_id;
            if (sent_message.from != session.user_name) {
                ViolationLocked("webwxsendmsg: FromUserName is not the own account");
                ret = -1;
            } else if (refuse_left != 0) {
                refuse_left -= refuse_left > 0 ? 1 : 0;
                sent_message.ret = refuse_ret;
                refused.push_back(sent_message);
                request_seen.notify_all();
                if (options.traffic) {
                    options.traffic("<- " + DisplayNameLocked(sent_message.to) + ": refused (Ret " +
                                    std::to_string(refuse_ret) + ")");
                }
                return Text(SendMsgAnswer(refuse_ret, "", ""));
            } else if (sent_message.to != "filehelper" && sent_message.to != session.user_name &&
                       FindContactLocked(sent_message.to) == nullptr) {
                ret = 1204;
            } else if (options.send_min_interval_ms > 0 && last_send_ms >= 0 &&
                       sent_message.at_ms - last_send_ms < options.send_min_interval_ms) {
                ret = 1025;
            }
        }
        sent_message.ret = ret;
        if (ret == 0) {
            last_send_ms = sent_message.at_ms;
            CheckMessageIdsLocked(*this, sent_message, "webwxsendmsg");
        }
        if (ret != -1) {
            sent.push_back(sent_message);
            request_seen.notify_all();
            if (options.traffic) {
                std::string shown = sent_message.content;
                for (std::size_t at = 0; (at = shown.find("\r\n", at)) != std::string::npos;) {
                    shown.replace(at, 2, " / ");
                }
                options.traffic("<- " + DisplayNameLocked(sent_message.to) + ": " + shown +
                                (ret == 0 ? "" : " (Ret " + std::to_string(ret) + ")"));
            }
        }
    }
    const std::string msg_id = RandomDigits(random, 19);
    if (ret == 0 && !sent.empty()) {
        sent.back().msg_id = msg_id;
    }
    return Text(SendMsgAnswer(ret, msg_id, local_id));
}

HttpResponse Impl::RevokeMsg(const HttpRequest& request, const std::string& host) {
    // The service takes a recall for about two minutes after the send.
    constexpr std::int64_t REVOKE_LIMIT_MS = 120000;
    std::lock_guard lock(mutex);
    Json body;
    int ret = CheckSession(*this, request, host, Check{Envelope::Full}, body);
    if (ret == 0) {
        const std::string client_id =
            body.contains("ClientMsgId") ? JsonScalarText(body["ClientMsgId"]) : std::string();
        const std::string server_id =
            body.contains("SvrMsgId") ? JsonScalarText(body["SvrMsgId"]) : std::string();
        const std::string to = body.value("ToUserName", std::string());
        ret = -1;
        // A recall after a new login names the chat by its new name.
        const auto chat_is = [&](const std::string& sent_to) {
            const auto renamed = renamed_to.find(sent_to);
            return sent_to == to || (renamed != renamed_to.end() && renamed->second == to);
        };
        const auto take_back = [&](auto& messages) {
            for (auto& message : messages) {
                if (message.ret == 0 && !message.msg_id.empty() && message.msg_id == server_id &&
                    message.local_id == client_id && chat_is(message.to) && !message.revoked &&
                    NowMs() - message.at_ms <= REVOKE_LIMIT_MS) {
                    message.revoked = true;
                    return true;
                }
            }
            return false;
        };
        // Pictures, videos and files are taken back as texts are.
        if (take_back(sent) || take_back(media_sends)) {
            ret = 0;
        }
    }
    return Text(RevokeMsgAnswer(ret));
}

HttpResponse Impl::OpLog(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    int ret = CheckSession(*this, request, host, Check{Envelope::Full}, body);
    if (ret == 0) {
        const std::string name = body.value("UserName", std::string());
        if (body.value("CmdId", -1) != 2 || !body.contains("RemarkName") ||
            !body["RemarkName"].is_string()) {
            ViolationLocked("webwxoplog: CmdId or RemarkName wrong");
            ret = -1;
        } else {
            for (ContactSpec& contact : contacts) {
                if (contact.user_name == name) {
                    contact.remark_name = body["RemarkName"].get<std::string>();
                    News item;
                    item.selector = "4";
                    item.change.contact = contact;
                    PushNewsLocked(std::move(item));
                    break;
                }
            }
        }
    }
    return Text(BaseResponseAnswer(ret));
}

HttpResponse Impl::Logout(const HttpRequest& request, const std::string& host) {
    std::lock_guard lock(mutex);
    Json body;
    Check check{Envelope::None};
    check.pass_ticket = false;
    const int ret = CheckSession(*this, request, host, check, body);
    if (ret == 0 || ret == 1101) {
        EndSessionLocked(1100);
    }
    return Text("", "text/html");
}

HttpResponse Impl::HeadImage(const HttpRequest& request) {
    const std::string user = QueryValue(request.query, "username");
    std::lock_guard lock(mutex);
    if (user == scenario.account.user_name && !head_image.empty()) {
        return Text(head_image, "image/png");
    }
    std::uint64_t shade = 0;
    for (const char c : user) {
        shade = shade * 31 + static_cast<unsigned char>(c);
    }
    return Text(PlainPng(32, 32, static_cast<unsigned char>(64 + shade % 128)), "image/png");
}

}  // namespace sim
