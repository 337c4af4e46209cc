#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>
#include <set>

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
    ASSERT_TRUE(h.simulator.WaitForRequest("synccheck", std::chrono::seconds(20)));
    sim::ContactSpec changed;
    changed.id = "alice";
    changed.nick_name = "Alice 😹";
    changed.sex = 2;
    h.simulator.ChangeContact(changed);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(20)), std::future_status::ready);
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
    ASSERT_TRUE(h.simulator.WaitForRequest("synccheck", std::chrono::seconds(20)));
    const Answer logout =
        h.Send(h.Web(), "post",
               "/cgi-bin/mmwebwx-bin/webwxlogout?redirect=1&type=0&" + h.SkeyQuery(), "", s.cookie);
    EXPECT_EQ(logout.status, 200);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(20)), std::future_status::ready);
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

TEST(SyncLoop, SavedSessionResumesInANewProcessUntilTheServiceEndsIt) {
    Harness h(Harness::Options(5000));
    ASSERT_TRUE(h.simulator.Start());
    Synced first{h, {}, {}};
    first.key_answer = h.LoginAndInit(first.cookie);
    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "before the crash"});
    // The first process fetches the news and dies before it acknowledges them.
    const std::string fetched = first.Sync(false);
    ASSERT_EQ(AddMsgCount(fetched), 1);
    const std::string msg_id = nlohmann::json::parse(fetched)["AddMsgList"][0]["MsgId"];

    // A second process with the saved tokens, cookies and SyncKey is the same session.
    Synced second{h, first.cookie, first.key_answer};
    const Answer init = h.Send(h.Web(), "post", h.Path("webwxinit"), h.InitBody(), second.cookie);
    EXPECT_NE(init.Text().find("\"Ret\": 0,"), std::string::npos);
    EXPECT_EQ(second.Check().body, "window.synccheck={retcode:\"0\",selector:\"2\"}");
    const auto again = nlohmann::json::parse(second.Sync());
    ASSERT_EQ(again["AddMsgCount"], 1);
    EXPECT_EQ(again["AddMsgList"][0]["MsgId"], msg_id);
    EXPECT_EQ(AddMsgCount(second.Sync()), 0);
    EXPECT_TRUE(h.simulator.Violations().empty()) << h.simulator.Violations()[0];

    // Ended with "cookie invalid", the session gives nothing more to anyone.
    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "after the end"});
    h.simulator.EndSession(1102);
    EXPECT_EQ(second.Check().body, "window.synccheck={retcode:\"1102\",selector:\"0\"}");
    const std::string ended = second.Sync(false);
    EXPECT_NE(ended.find("\"Ret\": 1101,"), std::string::npos);
    EXPECT_EQ(AddMsgCount(ended), 0);
    const Answer send =
        h.Send(h.Web(), "post", h.Path("webwxsendmsg"),
               h.Envelope() + ",\"Msg\":{\"FromUserName\":\"" + h.simulator.Session().user_name +
                   "\",\"ToUserName\":\"" + h.simulator.UserNameOf("alice") +
                   "\",\"Type\":1,\"Content\":\"x\",\"ClientMsgId\":1,\"LocalID\":1}}",
               second.cookie);
    EXPECT_EQ(send.body,
              "{\n\"BaseResponse\": {\n\"Ret\": 1101,\n\"ErrMsg\": \"\"\n}\n,\n\"MsgID\": "
              "\"\",\n\"LocalID\": \"\"\n}\n");
    EXPECT_TRUE(h.simulator.SentMessages().empty());
    EXPECT_NE(h.Send(h.Web(), "post", h.Path("webwxinit"), h.InitBody(), second.cookie)
                  .Text()
                  .find("\"Ret\": 1102,"),
              std::string::npos);
    EXPECT_EQ(h.simulator.Deliveries().back().deliveries, 0);
    EXPECT_TRUE(h.simulator.Violations().empty()) << h.simulator.Violations()[0];
}

TEST(SyncLoop, AnswerCutBeforeItsSyncKeyLeavesTheNewsToBeFetchedAgain) {
    Harness h(Harness::Options(200));
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "one"});
    h.simulator.DeliverMessage({sim::MessageKind::Text, "bob", "", "", "two"});
    sim::Fault cut;
    cut.kind = sim::FaultKind::CutBeforeSyncKey;
    h.simulator.SetFault("webwxsync", cut);
    // A complete gzip stream of an answer that stops where its SyncKey would begin.
    const std::string partial = s.Sync(false);
    EXPECT_NE(partial.find("\"Ret\": 0,"), std::string::npos);
    EXPECT_NE(partial.find("\"AddMsgCount\": 2,"), std::string::npos);
    EXPECT_TRUE(partial.ends_with("\"ContinueFlag\": 0,\n")) << partial.substr(partial.size() - 40);
    EXPECT_EQ(partial.find("SyncKey"), std::string::npos);

    const auto whole = nlohmann::json::parse(s.Sync());
    ASSERT_EQ(whole["AddMsgCount"], 2);
    EXPECT_NE(partial.find("\"MsgId\": \"" + whole["AddMsgList"][0]["MsgId"].get<std::string>()),
              std::string::npos);
    EXPECT_NE(partial.find("\"MsgId\": \"" + whole["AddMsgList"][1]["MsgId"].get<std::string>()),
              std::string::npos);
    EXPECT_EQ(AddMsgCount(s.Sync()), 0);
    for (const sim::DeliveryRecord& record : h.simulator.Deliveries()) {
        EXPECT_EQ(record.deliveries, 2);
        EXPECT_GE(record.used_up_ms, record.first_delivered_ms);
    }
}

TEST(SyncLoop, ForcedSyncCheckAnswersStayUntilCleared) {
    Harness h(Harness::Options(10000));
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    auto held = std::async(std::launch::async, [&] { return s.Check(); });
    ASSERT_TRUE(h.simulator.WaitForRequest("synccheck", std::chrono::seconds(20)));
    h.simulator.ForceSyncCheck("9999", "", -1);
    ASSERT_EQ(held.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(held.get().body, "window.synccheck={retcode:\"9999\",selector:\"0\"}");
    EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"9999\",selector:\"0\"}");
    h.simulator.ForceSyncCheck("1205", "2", 1);
    EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"1205\",selector:\"2\"}");
    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "hi"});
    EXPECT_EQ(s.Check().body, "window.synccheck={retcode:\"0\",selector:\"2\"}");
}

TEST(SyncLoop, BulkMessagesKeepTheirRateOrderAndIds) {
    Harness h(Harness::Options(5000));
    ASSERT_TRUE(h.simulator.Start());
    Synced s{h, {}, {}};
    s.key_answer = h.LoginAndInit(s.cookie);
    sim::BulkMessages bulk;
    bulk.message.text = "load {n}";
    bulk.senders = {"alice", "bob"};
    bulk.count = 300;
    bulk.per_second = 3000;
    bulk.special_every = 10;
    bulk.special_text = "问：q{n}答：a{n}";
    // A marker delivered at once stamps the moment the run starts; the run's own first
    // message may be queued a little late and the rest then catch up.
    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "start"});
    h.simulator.QueueMessages(bulk);
    std::vector<nlohmann::json> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < bulk.count + 1 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_NE(s.Check().body.find("retcode:\"0\""), std::string::npos);
        const auto answer = nlohmann::json::parse(s.Sync());
        for (const auto& message : answer["AddMsgList"]) {
            received.push_back(message);
        }
    }
    ASSERT_EQ(received.size(), bulk.count + 1);
    EXPECT_EQ(received.front()["Content"], "start");
    received.erase(received.begin());
    std::set<std::string> ids;
    for (std::size_t i = 0; i < received.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string special = "问：q" + n + "答：a";
        EXPECT_EQ(received[i]["Content"], (i + 1) % 10 == 0 ? special + n : "load " + n);
        EXPECT_EQ(received[i]["FromUserName"],
                  h.simulator.UserNameOf(i % 2 == 0 ? "alice" : "bob"));
        ids.insert(received[i]["MsgId"].get<std::string>());
    }
    EXPECT_EQ(ids.size(), bulk.count);
    std::vector<sim::DeliveryRecord> records = h.simulator.Deliveries();
    ASSERT_EQ(records.size(), bulk.count + 1);
    const std::int64_t start_ms = records.front().queued_ms;
    records.erase(records.begin());
    EXPECT_TRUE(records[9].special);
    EXPECT_FALSE(records[10].special);
    // 300 at 3000 a second: the last is due a tenth of a second (less one step) after the start.
    EXPECT_GE(records.back().queued_ms - start_ms, 99);
    EXPECT_EQ(AddMsgCount(s.Sync()), 0);
    for (const sim::DeliveryRecord& record : h.simulator.Deliveries()) {
        EXPECT_EQ(record.deliveries, 1);
        EXPECT_GE(record.used_up_ms, 0);
    }
}
