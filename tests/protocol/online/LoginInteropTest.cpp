#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "protocol/ServiceProfile.h"
#include "support/SimSession.h"

namespace zelmo::interop {
namespace {

using platform::Utf8ToGbk;

std::map<std::string, std::string> CookiePairs(std::string_view jar) {
    std::map<std::string, std::string> pairs;
    std::size_t pos = 0;
    while (pos < jar.size()) {
        std::size_t end = jar.find("; ", pos);
        if (end == std::string_view::npos) {
            end = jar.size();
        }
        const std::string_view pair = jar.substr(pos, end - pos);
        const std::size_t equals = pair.find('=');
        pairs[std::string(pair.substr(0, equals))] =
            equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1));
        pos = end + 2;
    }
    return pairs;
}

// The SyncKey object of an answer, cut by its braces without the client's helpers.
nlohmann::json SyncKeyObject(std::string_view answer) {
    const std::size_t key = answer.find("\"SyncKey\": ");
    const std::size_t open = answer.find('{', key);
    if (key == std::string_view::npos || open == std::string_view::npos) {
        return {};
    }
    int depth = 0;
    for (std::size_t i = open; i < answer.size(); ++i) {
        depth += answer[i] == '{' ? 1 : answer[i] == '}' ? -1 : 0;
        if (depth == 0) {
            return nlohmann::json::parse(answer.substr(open, i - open + 1), nullptr, false);
        }
    }
    return {};
}

class LoginInterop : public EraTest {};

TEST_P(LoginInterop, CookieJarAndCredentialsAreWhatTheServiceIssued) {
    const sim::SessionInfo issued = Rig().Sim().Session();
    const protocol::Session& session = Rig().State().session;
    ASSERT_TRUE(issued.logged_in);

    const auto jar = CookiePairs(session.cookies);
    EXPECT_EQ(jar.count("wxuin") ? jar.at("wxuin") : "", issued.uin) << session.cookies;
    EXPECT_EQ(jar.count("wxsid") ? jar.at("wxsid") : "", issued.sid) << session.cookies;
    EXPECT_EQ(jar.count("webwx_data_ticket") ? jar.at("webwx_data_ticket") : "",
              issued.data_ticket);
    EXPECT_EQ(jar.count("MM_WX_NOTIFY_STATE") ? jar.at("MM_WX_NOTIFY_STATE") : "", "1");
    // Attributes of Set-Cookie lines are not cookies: sent back they would be noise at best.
    for (const auto& [name, value] : jar) {
        EXPECT_FALSE(name.empty() || name == "Domain" || name == "Path" || name == "Expires" ||
                     name == "Secure" || value.find(';') != std::string::npos)
            << session.cookies;
    }

    EXPECT_EQ(session.uin, issued.uin);
    EXPECT_EQ(session.sid, issued.sid);
    EXPECT_EQ("@" + session.skey, issued.skey);
    EXPECT_EQ(session.pass_ticket, issued.pass_ticket);
    EXPECT_EQ(session.fun, issued.fun);
    EXPECT_EQ(session.fun, "5");
    EXPECT_EQ(session.deviceid, issued.device_id);
    // The whole login including the webwxinit body passed the service's checks.
    EXPECT_TRUE(Rig().Sim().Violations().empty()) << ViolationText(Rig().Sim());
}

TEST_P(LoginInterop, InitGivesTheServiceSyncKeyAndTheOwnProfile) {
    const protocol::ProtocolState& state = Rig().State();
    const nlohmann::json issued = SyncKeyObject(state.init_answer);
    ASSERT_TRUE(issued.is_object() && issued["List"].is_array()) << state.init_answer;
    ASSERT_FALSE(issued["List"].empty());
    std::string text;
    for (const auto& item : issued["List"]) {
        text += (text.empty() ? "" : "%7C") + std::to_string(item["Key"].get<int>()) + "_" +
                std::to_string(item["Val"].get<std::int64_t>());
    }
    EXPECT_EQ(state.sync_key.text, text);
    const nlohmann::json sent = nlohmann::json::parse(state.sync_key.json, nullptr, false);
    EXPECT_EQ(sent, issued) << state.sync_key.json;

    const sim::SessionInfo issued_session = Rig().Sim().Session();
    EXPECT_EQ(state.own.Uin, "2100000077");
    EXPECT_EQ(state.own.UserName, issued_session.user_name);
    EXPECT_EQ(state.own.UserName, Rig().Sim().UserNameOf("self"));
    EXPECT_EQ(state.own.NickName, Utf8ToGbk("小泽  Bot"));  // the emoji span goes
    EXPECT_EQ(state.own.Sex, Utf8ToGbk("女"));
    EXPECT_EQ(state.own.Signature, Utf8ToGbk("签名"));

    // The head image URL the client built points at a real image on the service.
    ASSERT_TRUE(state.own.HeadImgUrl.starts_with("https://" + Rig().Sim().HostFor("web") + "/"))
        << state.own.HeadImgUrl;
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    const std::string image = Rig().Web().Request(state.own.HeadImgUrl, options);
    EXPECT_TRUE(image.starts_with("\x89PNG")) << image.substr(0, 16);
}

// The login's requests as the service saw them, up to webwxinit: method, host, path, the
// query and header lines without their per-login values (ids, tickets, time stamps).
std::vector<std::string> LoginRequests(const sim::Simulator& simulator) {
    std::vector<std::string> seen;
    for (const sim::RecordedRequest& request : simulator.Requests()) {
        std::string query;
        for (std::size_t start = 0; start < request.query.size();) {
            std::size_t end = request.query.find('&', start);
            end = end == std::string::npos ? request.query.size() : end;
            const std::string pair = request.query.substr(start, end - start);
            const std::string name = pair.substr(0, pair.find('='));
            const bool varies = name == "_" || name == "r" || name == "uuid" || name == "ticket" ||
                                name == "scan" || name == "pass_ticket" || name == "skey";
            query += (query.empty() ? "" : "&") + (varies ? name + "=*" : pair);
            start = end + 1;
        }
        std::string headers;
        for (const auto& [name, value] : request.headers) {
            const bool varies = name == "Cookie" || name == "Content-Length" || name == "Referer";
            headers += "\n  " + name + ": " + (varies ? "*" : value);
        }
        const std::string path =
            request.path.starts_with("/qrcode/") ? std::string("/qrcode/*") : request.path;
        seen.push_back(request.method + " " + request.host + path + "?" + query + headers);
        if (request.path.ends_with("webwxinit")) {
            break;
        }
    }
    return seen;
}

// The web mode is the web client's login, request for request; the desktop mode differs in
// the jslogin target and in the two header lines of the login redirect, nowhere else.
TEST(LoginModeInterop, DesktopModeDiffersFromTheWebModeOnlyWhereItMust) {
    SimSession web(sim::Era::Late2018, protocol::LoginMode::Web);
    ASSERT_EQ(web.LogIn(), "");
    SimSession desktop(sim::Era::Late2018, protocol::LoginMode::Desktop);
    ASSERT_EQ(desktop.LogIn(), "");
    EXPECT_FALSE(web.Sim().Login().desktop);
    EXPECT_TRUE(desktop.Sim().Login().desktop);
    EXPECT_EQ(web.Sim().Violations(), std::vector<std::string>{});
    EXPECT_EQ(desktop.Sim().Violations(), std::vector<std::string>{});

    std::vector<std::string> web_requests = LoginRequests(web.Sim());
    const std::vector<std::string> desktop_requests = LoginRequests(desktop.Sim());
    ASSERT_EQ(web_requests.size(), desktop_requests.size());
    const std::string target = "webwxnewloginpage";
    std::size_t redirects = 0;
    for (std::string& request : web_requests) {
        ASSERT_EQ(request.find("client-version"), std::string::npos) << request;
        ASSERT_EQ(request.find("extspam"), std::string::npos) << request;
        if (request.find("/jslogin?") != std::string::npos) {
            const std::size_t at = request.find(target) + target.size();
            request.insert(at, "%3Fmod%3Ddesktop");
        } else if (request.find("/" + target + "?") != std::string::npos) {
            request +=
                "\n  client-version: 2.0.0\n  extspam: " + std::string(protocol::DESKTOP_EXTSPAM);
            ++redirects;
        }
    }
    EXPECT_EQ(redirects, 1u);
    EXPECT_EQ(web_requests, desktop_requests);
}

INSTANTIATE_TEST_SUITE_P(Eras, LoginInterop,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018), EraName);

}  // namespace
}  // namespace zelmo::interop
