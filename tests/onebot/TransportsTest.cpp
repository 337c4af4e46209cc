// Every transport driven by a small real client over real sockets: the standard's HTTP
// statuses and retcodes, the forward WebSocket, the long poll, webhooks that answer, fail
// and come back, and a reverse WebSocket server that goes away and comes back.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "OneBotRig.h"
#include "platform/Json.h"
#include "support/WsPeer.h"

namespace zelmo::test {
namespace {

using nlohmann::json;

platform::Json Event(int n) {
    return platform::Json::MakeObject().Set("type", "meta").Set("n", n);
}

httplib::Headers Bearer(const std::string& token) {
    return {{"Authorization", "Bearer " + token}};
}

json Parse(const std::string& text) {
    return json::parse(text, nullptr, false);
}

// A request's status and body; status -1 (and the error in the body) when it failed.
int Get(httplib::Client& http, const std::string& path, const httplib::Headers& headers) {
    const httplib::Result result = http.Get(path.c_str(), headers);
    return result ? result->status : -1;
}

struct Answer {
    int status = -1;
    std::string body;
    std::string type;
};
Answer Post(httplib::Client& http, const std::string& path, const httplib::Headers& headers,
            const std::string& body, const std::string& type = "application/json") {
    const httplib::Result result = http.Post(path.c_str(), headers, body, type.c_str());
    if (!result) {
        return {-1, httplib::to_string(result.error())};
    }
    return {result->status, result->body, result->get_header_value("Content-Type")};
}

TEST(OneBotHttpTest, AuthenticatesFirstThenAnswersWithTheStandardsStatusesAndRetcodes) {
    OneBotRig rig;
    httplib::Client http("127.0.0.1", rig.PortOf("HTTP"));
    const std::string version = R"({"action":"get_version","params":{}})";

    EXPECT_EQ(Post(http, "/", {}, version).status, 401);
    EXPECT_EQ(Post(http, "/", Bearer("wrong"), version, "application/json").status, 401);
    EXPECT_EQ(Post(http, "/", {{"Authorization", std::string("bearer ") + TOKEN}}, version,
                   "application/json")
                  .status,
              401);
    // The query's token counts only when there is no Authorization header at all.
    EXPECT_EQ(Post(http, std::string("/?access_token=") + TOKEN, {}, version).status, 200);
    EXPECT_EQ(Post(http, std::string("/?access_token=") + TOKEN, Bearer("wrong"), version,
                   "application/json")
                  .status,
              401);
    // Authentication comes before the path, the verb and the type are looked at.
    EXPECT_EQ(Get(http, "/elsewhere", {}), 401);
    EXPECT_EQ(Post(http, "/elsewhere", Bearer(TOKEN), version, "application/json").status, 404);
    EXPECT_EQ(Get(http, "/", Bearer(TOKEN)), 405);
    EXPECT_EQ(Post(http, "/", Bearer(TOKEN), version, "text/plain").status, 415);

    const auto ok = Post(http, "/", Bearer(TOKEN), version, "application/json; charset=utf-8");
    ASSERT_EQ(ok.status, 200);
    EXPECT_EQ(ok.type, "application/json; charset=utf-8");
    const json answer = Parse(ok.body);
    EXPECT_EQ(answer["status"], "ok");
    EXPECT_EQ(answer["retcode"], 0);
    EXPECT_EQ(answer["message"], "");
    EXPECT_EQ(answer["data"],
              json({{"impl", "zelmo"}, {"version", "9.9"}, {"onebot_version", "12"}}));
    EXPECT_FALSE(answer.contains("echo"));

    // Once the body is read, every fault is a 200 with a retcode (and the echo back).
    const auto bad_json = Post(http, "/", Bearer(TOKEN), "{\"action\":", "application/json");
    EXPECT_EQ(bad_json.status, 200);
    EXPECT_EQ(Parse(bad_json.body)["retcode"], 10001);
    const json unknown =
        Parse(Post(http, "/", Bearer(TOKEN), R"({"action":"fly","params":{},"echo":{"n":[1,"x"]}})",
                   "application/json")
                  .body);
    EXPECT_EQ(unknown["status"], "failed");
    EXPECT_EQ(unknown["retcode"], 10002);
    EXPECT_EQ(unknown["echo"], json({{"n", {1, "x"}}}));
    EXPECT_EQ(unknown["data"], nullptr);
    const json missing =
        Parse(Post(http, "/", Bearer(TOKEN), R"({"action":"get_user_info","params":{"user_id":7}})",
                   "application/json")
                  .body);
    EXPECT_EQ(missing["retcode"], 10003);
    const json stranger = Parse(Post(http, "/", Bearer(TOKEN),
                                     R"({"action":"get_user_info","params":{"user_id":"@nobody"}})",
                                     "application/json")
                                    .body);
    EXPECT_EQ(stranger["retcode"], 35003);
    const json other_self =
        Parse(Post(http, "/", Bearer(TOKEN),
                   R"({"action":"get_status","params":{},"self":{"platform":"qq","user_id":"1"}})",
                   "application/json")
                  .body);
    EXPECT_EQ(other_self["retcode"], 10102);
    // Beyond 1 MB only upload_file may go.
    const std::string big =
        R"({"action":"get_status","params":{"pad":")" + std::string(1100000, 'x') + "\"}}";
    EXPECT_EQ(Parse(Post(http, "/", Bearer(TOKEN), big, "application/json").body)["retcode"],
              10001);
}

TEST(OneBotHttpTest, TheLongPollTakesWhatComesWhileItWaitsAndEachEventOnce) {
    OneBotRig rig;
    httplib::Client http("127.0.0.1", rig.PortOf("HTTP"));
    auto poll = [&](const std::string& params) {
        return Parse(Post(http, "/", Bearer(TOKEN),
                          R"({"action":"get_latest_events","params":)" + params + "}",
                          "application/json")
                         .body);
    };
    EXPECT_EQ(poll(R"({"timeout":0})")["data"], json::array());

    std::future<json> waiting = std::async(std::launch::async, [&] {
        httplib::Client other("127.0.0.1", rig.PortOf("HTTP"));
        other.set_read_timeout(60);
        return Parse(Post(other, "/", Bearer(TOKEN),
                          R"({"action":"get_latest_events","params":{"timeout":30}})",
                          "application/json")
                         .body);
    });
    rig.service->Publish(Event(1));
    ASSERT_EQ(waiting.wait_for(WAIT), std::future_status::ready);
    const json woken = waiting.get();
    ASSERT_EQ(woken["data"].size(), 1U);
    EXPECT_EQ(woken["data"][0]["n"], 1);

    for (int n = 2; n <= 4; ++n) {
        rig.service->Publish(Event(n));
    }
    const json first = poll(R"({"limit":2})");
    ASSERT_EQ(first["data"].size(), 2U);
    EXPECT_EQ(first["data"][0]["n"], 2);
    EXPECT_EQ(first["data"][1]["n"], 3);
    EXPECT_EQ(poll("{}")["data"][0]["n"], 4);
    EXPECT_EQ(poll(R"({"limit":-1})")["retcode"], 10003);

    // The buffer and the long poll are HTTP's alone.
    WsPeer socket;
    ASSERT_EQ(socket.Connect(rig.PortOf("WebSocket"), "/",
                             {{"Authorization", std::string("Bearer ") + TOKEN}}),
              "");
    socket.SendText(R"({"action":"get_latest_events","params":{},"echo":"e"})");
    const std::optional<std::string> refused = socket.ReceiveResponse(WAIT);
    ASSERT_TRUE(refused);
    EXPECT_EQ(Parse(*refused)["retcode"], 10002);
}

TEST(OneBotWebSocketTest, ConnectComesFirstThenActionsAreAnsweredWithTheirEcho) {
    config::OneBotSettings settings = RigSettings();
    settings.心跳间隔 = "50";
    OneBotRig rig(settings);
    const int port = rig.PortOf("WebSocket");

    WsPeer refused;
    int status = 0;
    EXPECT_NE(refused.Connect(port, "/", {{"Authorization", "Bearer nope"}}, &status), "");
    EXPECT_EQ(status, 401);
    EXPECT_NE(refused.Connect(port, "/other", {{"Authorization", std::string("Bearer ") + TOKEN}},
                              &status),
              "");
    EXPECT_EQ(status, 404);

    WsPeer socket;
    ASSERT_EQ(socket.Connect(port, std::string("/?access_token=") + TOKEN), "");
    const std::optional<std::string> first = socket.Receive(WAIT);
    ASSERT_TRUE(first);
    const json connect = Parse(*first);
    EXPECT_EQ(connect["type"], "meta");
    EXPECT_EQ(connect["detail_type"], "connect");
    EXPECT_EQ(connect["sub_type"], "");
    EXPECT_FALSE(connect.contains("self"));
    EXPECT_EQ(connect["version"]["impl"], "zelmo");
    EXPECT_TRUE(connect["time"].is_number_float());

    socket.SendText(R"({"action":"get_supported_actions","params":{},"echo":"a1"})");
    const std::optional<std::string> answer = socket.ReceiveResponse(WAIT);
    ASSERT_TRUE(answer);
    const json actions = Parse(*answer);
    EXPECT_EQ(actions["echo"], "a1");
    EXPECT_NE(std::find(actions["data"].begin(), actions["data"].end(), "wx.set_remark"),
              actions["data"].end());
    EXPECT_EQ(std::find(actions["data"].begin(), actions["data"].end(), "get_latest_events"),
              actions["data"].end());

    socket.SendText("not json");
    EXPECT_EQ(Parse(*socket.ReceiveResponse(WAIT))["retcode"], 10001);
    socket.SendBinary(
        "\x81\xa6"
        "action");
    EXPECT_EQ(Parse(*socket.ReceiveResponse(WAIT))["retcode"], 10001);

    bool heartbeat = false;
    for (int i = 0; i < 100 && !heartbeat; ++i) {
        const std::optional<std::string> frame = socket.Receive(WAIT);
        ASSERT_TRUE(frame);
        const json event = Parse(*frame);
        heartbeat = event["detail_type"] == "heartbeat" && event["interval"] == 50;
    }
    EXPECT_TRUE(heartbeat);
    // Events reach every open connection.
    rig.service->Publish(Event(7));
    bool published = false;
    for (int i = 0; i < 100 && !published; ++i) {
        const std::optional<std::string> frame = socket.Receive(WAIT);
        ASSERT_TRUE(frame);
        published = Parse(*frame)["n"] == 7;
    }
    EXPECT_TRUE(published);
}

// A webhook receiver that records what it is sent and answers as told.
class Receiver {
public:
    explicit Receiver(int port = 0) {
        m_server.Post("/hook", [this](const httplib::Request& request, httplib::Response& reply) {
            std::lock_guard lock(m_mutex);
            m_bodies.push_back(request.body);
            m_requests.push_back(request);
            if (!m_actions.empty()) {
                reply.set_content(m_actions, "application/json");
                m_actions.clear();
            } else {
                reply.status = 204;
            }
            m_changed.notify_all();
        });
        m_port = port == 0 ? m_server.bind_to_any_port("127.0.0.1")
                           : (m_server.bind_to_port("127.0.0.1", port) ? port : 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // This cpp-httplib has no ready signal, and a stop before it runs is lost.
        while (!m_server.is_running()) {
            std::this_thread::yield();
        }
    }
    ~Receiver() {
        m_server.stop();
        m_thread.join();
    }
    int Port() const { return m_port; }
    void AnswerNextWith(std::string actions) {
        std::lock_guard lock(m_mutex);
        m_actions = std::move(actions);
    }
    bool WaitFor(std::size_t count, std::chrono::seconds timeout = WAIT) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_bodies.size() >= count; });
    }
    std::vector<std::string> Bodies() {
        std::lock_guard lock(m_mutex);
        return m_bodies;
    }
    httplib::Request First() {
        std::lock_guard lock(m_mutex);
        return m_requests.front();
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_bodies;
    std::vector<httplib::Request> m_requests;
    std::string m_actions;
};

TEST(OneBotWebhookTest, EventsArePostedInOrderAndA200sActionsAreRun) {
    Receiver receiver;
    config::OneBotSettings settings = RigSettings();
    settings.Webhook = "http://127.0.0.1:" + std::to_string(receiver.Port()) + "/hook";
    OneBotRig rig(settings);
    receiver.AnswerNextWith(
        R"([{"action":"upload_file","params":{"type":"data","name":"a.txt","data":"aGk="}}])");
    for (int n = 1; n <= 5; ++n) {
        rig.service->Publish(Event(n));
    }
    ASSERT_TRUE(receiver.WaitFor(5));
    const std::vector<std::string> bodies = receiver.Bodies();
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(Parse(bodies[static_cast<std::size_t>(n - 1)])["n"], n);
    }
    const httplib::Request first = receiver.First();
    EXPECT_EQ(first.get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(first.get_header_value("X-OneBot-Version"), "12");
    EXPECT_EQ(first.get_header_value("X-Impl"), "zelmo");
    EXPECT_EQ(first.get_header_value("Authorization"), std::string("Bearer ") + TOKEN);
    EXPECT_NE(first.get_header_value("User-Agent").find("OneBot/12"), std::string::npos);
    // The action of the first answer ran: the file it uploaded is kept.
    const auto kept = [&] {
        std::size_t files = 0;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(rig.dir.Path() + "/files", error)) {
            files += entry.path().extension() == ".json" ? 1 : 0;
        }
        return files;
    };
    EXPECT_EQ(kept(), 1U);
}

TEST(OneBotWebhookTest, ADeadWebhookHoldsNothingDropsTheOldestAndDeliversTheRestInOrder) {
    WsPeer probe;  // a free port, closed again at once
    const int port = probe.Listen();
    probe.Unlisten();
    config::OneBotSettings settings = RigSettings();
    settings.Webhook = "http://127.0.0.1:" + std::to_string(port) + "/hook";
    OneBotRig rig(settings);
    const int total = static_cast<int>(onebot::WEBHOOK_QUEUE) + 5;
    for (int n = 1; n <= total; ++n) {
        rig.service->Publish(Event(n));
    }
    EXPECT_TRUE(rig.WaitForLine("丢弃了最早的事件"));
    // The robot goes on meanwhile: actions are answered at once.
    httplib::Client http("127.0.0.1", rig.PortOf("HTTP"));
    EXPECT_EQ(Parse(Post(http, "/", Bearer(TOKEN), R"({"action":"get_status","params":{}})",
                         "application/json")
                        .body)["retcode"],
              0);

    Receiver receiver(port);
    ASSERT_EQ(receiver.Port(), port);
    // The first tries back off up to 8 s before the receiver is there.
    ASSERT_TRUE(receiver.WaitFor(onebot::WEBHOOK_QUEUE, std::chrono::seconds(60)));
    const std::vector<std::string> bodies = receiver.Bodies();
    int previous = 0;
    for (const std::string& body : bodies) {
        const int n = Parse(body)["n"];
        EXPECT_GT(n, previous);
        previous = n;
    }
    // The newest survived; at most the queue's worth of the oldest did not.
    EXPECT_EQ(previous, total);
    EXPECT_GE(Parse(bodies.front())["n"].get<int>(), total - static_cast<int>(bodies.size()));
}

TEST(OneBotReverseWebSocketTest, ConnectsWithItsHeadersAndComesBackAfterTheServerWentAway) {
    WsPeer server;
    const int port = server.Listen();
    config::OneBotSettings settings = RigSettings();
    settings.HTTP地址.clear();
    settings.WS地址.clear();
    settings.重连间隔 = "50";
    settings.反向WS =
        " ws://127.0.0.1:" + std::to_string(port) + "/onebot/v12/ ; ws://127.0.0.1:1/";
    OneBotRig rig(settings);

    ASSERT_TRUE(server.Accept(WAIT));
    EXPECT_EQ(server.RequestTarget(), "/onebot/v12/");
    EXPECT_EQ(server.RequestHeader("Sec-WebSocket-Protocol"), "12.zelmo");
    EXPECT_EQ(server.RequestHeader("Authorization"), std::string("Bearer ") + TOKEN);
    EXPECT_NE(server.RequestHeader("User-Agent").find("OneBot/12"), std::string::npos);
    std::optional<std::string> first = server.Receive(WAIT);
    ASSERT_TRUE(first);
    EXPECT_EQ(Parse(*first)["detail_type"], "connect");
    server.SendText(R"({"action":"get_self_info","params":{},"echo":1})");
    const std::optional<std::string> self = server.ReceiveResponse(WAIT);
    ASSERT_TRUE(self);
    EXPECT_EQ(Parse(*self)["data"]["user_id"], "@self");
    EXPECT_EQ(Parse(*self)["data"]["user_name"], "机器人");

    server.Unlisten();
    ASSERT_EQ(server.Listen(port), port);
    ASSERT_TRUE(server.Accept(WAIT));
    first = server.Receive(WAIT);
    ASSERT_TRUE(first);
    EXPECT_EQ(Parse(*first)["detail_type"], "connect");
    rig.service->Publish(Event(3));
    const std::optional<std::string> event = server.Receive(WAIT);
    ASSERT_TRUE(event);
    EXPECT_EQ(Parse(*event)["n"], 3);
}

}  // namespace
}  // namespace zelmo::test
