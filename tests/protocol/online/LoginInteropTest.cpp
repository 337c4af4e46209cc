#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

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

INSTANTIATE_TEST_SUITE_P(Eras, LoginInterop,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018), EraName);

}  // namespace
}  // namespace zelmo::interop
