#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>

#include "SimTestClient.h"

using simtest::Answer;
using simtest::Harness;

namespace {

struct Synced {
    Harness& h;
    std::string cookie;
    std::string key_answer;  // the last answer that carried the SyncKey

    std::string SyncCheckPath() const {
        const sim::SessionInfo s = h.simulator.Session();
        return "/cgi-bin/mmwebwx-bin/synccheck?" + h.SkeyQuery() + "&callback=&r=1&sid=" + s.sid +
               "&uin=" + s.uin +
               "&deviceid=e402715839261573&synckey=" + simtest::SyncKeyText(key_answer) + "&_=2";
    }
    Answer Check() const {
        return h.Send(h.simulator.HostFor("push"), "GET", SyncCheckPath(), "", cookie);
    }
    std::string Sync(bool keep_key = true) {
        const sim::SessionInfo s = h.simulator.Session();
        const std::string body = "{\"BaseRequest\":{\"Uin\":" + s.uin + ",\"Sid\":\"" + s.sid +
                                 "\"},\"SyncKey\":" + simtest::SyncKeyJson(key_answer) +
                                 ",\"rr\":1452862897123}";
        const Answer answer = h.Send(h.Web(), "post", h.Path("webwxsync"), body, cookie);
        EXPECT_TRUE(answer.Gzipped());
        std::string text = answer.Text();
        if (keep_key) {
            key_answer = text;
        }
        return text;
    }
};

int AddMsgCount(const std::string& answer) {
    return nlohmann::json::parse(answer)["AddMsgCount"].get<int>();
}

}  // namespace

TEST(SyncLoop, NewsStaysUntilTheSyncKeyAcknowledgesIt) {
    for (const sim::Era era : {sim::Era::Early2016, sim::Era::Late2018}) {
        sim::SimulatorOptions options = Harness::Options(200);
        options.era = era;
        Harness h(options);
        ASSERT_TRUE(h.simulator.Start());
        Synced s{h, {}, {}};
        s.key_answer = h.LoginAndInit(s.cookie);
        ASSERT_NE(s.key_answer.find("\"Ret\": 0,"), std::string::npos)
            << ::testing::PrintToString(h.simulator.Violations());

        EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"0\"}");
        h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "hi there"});
        h.simulator.DeliverMessage({sim::MessageKind::Picture, "team", "bob", "", ""});
        EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"2\"}");

        const std::string first = s.Sync(false);
        ASSERT_EQ(AddMsgCount(first), 2);
        const auto parsed = nlohmann::json::parse(first);
        EXPECT_EQ(parsed["AddMsgList"][0]["FromUserName"], h.simulator.UserNameOf("alice"));
        EXPECT_EQ(parsed["AddMsgList"][0]["Content"], "hi there");
        const std::string group_content = parsed["AddMsgList"][1]["Content"];
        EXPECT_EQ(group_content.rfind(h.simulator.UserNameOf("bob") + ":<br/>", 0), 0u);
        if (era == sim::Era::Early2016) {
            EXPECT_NE(group_content.find("&lt;msg&gt;&lt;img"), std::string::npos);
        } else {
            EXPECT_NE(group_content.find(":<br/>@"), std::string::npos);
        }
        // The client kept its old key: the same news comes again.
        EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"2\"}");
        EXPECT_EQ(AddMsgCount(s.Sync()), 2);
        // With the new key it is acknowledged and gone.
        EXPECT_EQ(AddMsgCount(s.Sync()), 0);
        EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"0\"}");
        EXPECT_TRUE(h.simulator.Violations().empty()) << h.simulator.Violations()[0];
    }
}

TEST(SyncLoop, HeldSyncCheckWakesOnNewsAndContactChangesAreReported) {
    Harness h(Harness::Options(10000));
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    auto held = std::async(std::launch::async, [&] { return s.Check(); });
    ASSERT_TRUE(h.simulator.WaitForRequest("synccheck", std::chrono::seconds(5)));
    sim::ContactSpec changed;
    changed.id = "alice";
    changed.nick_name = "Alice 😹";
    changed.sex = 2;
    h.simulator.ChangeContact(changed);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(held.get().body, "window.synccheck={retcode:\"0\",selector:\"4\"}");
    h.simulator.DeleteContact("bob");
    const auto answer = nlohmann::json::parse(s.Sync());
    ASSERT_EQ(answer["ModContactCount"], 1);
    EXPECT_EQ(answer["ModContactList"][0]["NickName"],
              "Alice <span class=\"emoji emoji1f639\"></span>");
    ASSERT_EQ(answer["DelContactCount"], 1);
    EXPECT_EQ(answer["DelContactList"][0]["UserName"], h.simulator.UserNameOf("bob"));
}

TEST(SyncLoop, LogoutEndsTheSessionWith1100) {
    Harness h(Harness::Options(10000));
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    auto held = std::async(std::launch::async, [&] { return s.Check(); });
    ASSERT_TRUE(h.simulator.WaitForRequest("synccheck", std::chrono::seconds(5)));
    const Answer logout =
        h.Send(h.Web(), "post",
               "/cgi-bin/mmwebwx-bin/webwxlogout?redirect=1&type=0&" + h.SkeyQuery(), "", s.cookie);
    EXPECT_EQ(logout.status, 200);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(held.get().body, "window.synccheck={retcode:\"1100\",selector:\"0\"}");
    EXPECT_EQ(h.simulator.Session().ended_retcode, 1100);
    EXPECT_NE(s.Sync(false).find("\"Ret\": 1100,"), std::string::npos);
}

TEST(SyncLoop, ScriptedEventsArriveAfterLogin) {
    sim::SimulatorOptions options = Harness::Options(5000);
    options.scenario_json = R"({
      "friends": [{"id": "ann", "NickName": "Ann", "Sex": 2}],
      "groups": [{"id": "g", "NickName": "G", "members": ["ann", {"id": "x", "NickName": "X"}]}],
      "events": [{"at_ms": 0, "message": {"kind": "system", "from": "g", "notice": "invite",
                                           "actor": "Ann", "target": "X"}},
                 {"at_ms": 0, "message": {"kind": "location", "from": "ann", "text": "Shenzhen"}}]
    })";
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"2\"}");
    const auto answer = nlohmann::json::parse(s.Sync());
    ASSERT_EQ(answer["AddMsgCount"], 2);
    EXPECT_EQ(answer["AddMsgList"][0]["MsgType"], 10000);
    EXPECT_EQ(answer["AddMsgList"][0]["Content"], "\"Ann\"邀请\"X\"加入了群聊");
    const std::string location = answer["AddMsgList"][1]["Content"];
    EXPECT_EQ(location.rfind("Shenzhen:<br/>", 0), 0u);
    EXPECT_NE(location.find("http://url.cn/"), std::string::npos);
}
