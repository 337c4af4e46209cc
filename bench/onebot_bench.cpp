// OneBot on a Release build, printed as figures:
// - an incoming message handed to the service reaches a forward-WebSocket client (median,
//   99th percentile; goal: median <= 2 ms);
// - get_friend_list with the 10,000 friends of tools/sim/scenarios/bench10k.json, in the
//   handler alone and as a WebSocket round trip (goal <= 20 ms);
// - 1,000 actions sent at once on one connection, a tenth of them send_message (goal: 1,000
//   actions/s, none failed; the sends queue behind the robot's pace).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "onebot/OneBotService.h"
#include "platform/Encoding.h"
#include "platform/FreeMemory.h"
#include "support/OnlineRobot.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"
#include "support/WsPeer.h"

namespace {

using Steady = std::chrono::steady_clock;
using nlohmann::json;
using namespace zelmo;
constexpr auto WAIT = std::chrono::seconds(30);

double Ms(Steady::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

config::OneBotSettings WebSocketOnly() {
    config::OneBotSettings settings;
    settings.启用 = true;
    settings.WS地址 = "127.0.0.1:0";
    settings.心跳间隔 = "0";
    return settings;
}

// An AddMsgList item as the service writes one: a friend's text.
std::string Item(int number) {
    return R"({"MsgId": ")" + std::to_string(4000000000000000000LL + number) +
           R"(","FromUserName": "@friend0123456789abcdef0123456789ab","ToUserName": "@self",)"
           R"("MsgType": 1,"Content": "今天下午三点开会，别忘了带上周的报表 <span class=\"emoji )"
           R"(emoji1f600\"></span> #)" +
           std::to_string(number) + R"(","Status": 3,"CreateTime": 1700000000})";
}

// The parts of a robot that is logged in but never sends, for what needs no simulator.
struct QuietParts {
    QuietParts() {
        protocol::ProtocolState state;
        state.own.UserName = "@self";
        state.own.NickName = "Bench";
        sessions.Publish(state);
    }
    onebot::OneBotParts Parts() {
        return {
            {web, profile, clock}, sessions, contacts, keys, connection, sender, guard, settings,
            dir.Path() + "/files", "bench",  {}};
    }
    test::TempDir dir;
    platform::SystemClock clock;
    protocol::ServiceProfile profile;
    platform::WebClient web;
    protocol::SessionStore sessions;
    contacts::ContactStore contacts;
    contacts::ContactKeys keys{clock};
    protocol::Connection connection;
    config::SettingsStore settings;
    test::StubScreen screen;
    messages::MessageLog log{screen, clock};
    messages::Sender sender{{{web, profile, clock},
                             sessions,
                             settings,
                             [](int) { return true; },
                             connection,
                             log,
                             contacts,
                             keys}};
    messages::ReplyGuard guard;
};

// Round trips of get_friend_list on a client of `service`: their times in ms.
std::vector<double> FriendListRoundTrips(int port, int rounds, std::size_t& bytes) {
    test::WsPeer client;
    std::vector<double> times;
    if (!client.Connect(port, "/").empty() || !client.Receive(WAIT)) {
        return times;
    }
    for (int i = 0; i < rounds; ++i) {
        const Steady::time_point start = Steady::now();
        client.SendText(R"({"action":"get_friend_list","params":{},"echo":1})");
        const std::optional<std::string> answer = client.ReceiveResponse(WAIT);
        if (!answer) {
            break;
        }
        times.push_back(Ms(Steady::now() - start));
        bytes = answer->size();
    }
    return times;
}

void TenThousandFriends() {
    QuietParts parts;
    for (int i = 0; i < 10000; ++i) {
        contacts::ContactRecord contact =
            test::Contact("@" + std::to_string(100000000 + i) + "0123456789abcdef0123456789ab",
                          "好友" + std::to_string(i) + " 小明", i % 2 == 0 ? "男" : "女");
        contact.RemarkName = platform::Utf8ToGbk("同事 " + std::to_string(i));
        contact.Alias = "wxid_" + std::to_string(i);
        parts.contacts.AppendIfNew(std::move(contact));
    }
    onebot::OneBotService service(parts.Parts(), WebSocketOnly());
    const std::vector<onebot::ListenerReport> reports = service.Start();
    constexpr int ROUNDS = 20;
    std::vector<double> direct;
    std::size_t friends = 0;
    for (int i = 0; i < ROUNDS; ++i) {
        std::promise<std::string> answer;
        const Steady::time_point start = Steady::now();
        service.HandleRequest(R"({"action":"get_friend_list","params":{}})",
                              onebot::Transport::WebSocket,
                              [&](std::string response) { answer.set_value(std::move(response)); });
        const std::string response = answer.get_future().get();
        direct.push_back(Ms(Steady::now() - start));
        friends = json::parse(response)["data"].size();
    }
    std::size_t bytes = 0;
    const std::vector<double> round_trip =
        FriendListRoundTrips(reports.empty() ? 0 : reports[0].port, ROUNDS, bytes);
    std::printf(
        "get_friend_list of %zu friends (%zu bytes): handler median %.2f ms, WebSocket "
        "round trip median %.2f ms, max %.2f ms (goal <= 20 ms)\n",
        friends, bytes, Percentile(direct, 0.5), Percentile(round_trip, 0.5),
        Percentile(round_trip, 1.0));
}

void IncomingLatency() {
    QuietParts parts;
    parts.contacts.AppendIfNew(
        test::Contact("@friend0123456789abcdef0123456789ab", "Friend", "女"));
    onebot::OneBotService service(parts.Parts(), WebSocketOnly());
    const std::vector<onebot::ListenerReport> reports = service.Start();
    test::WsPeer client;
    if (reports.empty() || !client.Connect(reports[0].port, "/").empty() || !client.Receive(WAIT)) {
        std::printf("incoming message to client: could not connect\n");
        return;
    }
    constexpr int WARM_UP = 200;
    constexpr int ROUNDS = 2000;
    std::vector<double> latencies;
    for (int i = 0; i < WARM_UP + ROUNDS; ++i) {
        const std::string item = Item(i);
        const Steady::time_point handed = Steady::now();
        service.OnMessageItem(item);
        const std::optional<std::string> event = client.Receive(WAIT);
        const Steady::time_point received = Steady::now();
        if (!event) {
            std::printf("incoming message to client: event %d never came\n", i);
            return;
        }
        if (i >= WARM_UP) {
            latencies.push_back(Ms(received - handed));
        }
    }
    std::printf(
        "incoming message to forward-WS client: median %.3f ms, p99 %.3f ms, max %.3f ms "
        "(%d messages; goal: median <= 2 ms)\n",
        Percentile(latencies, 0.5), Percentile(latencies, 0.99), Percentile(latencies, 1.0),
        ROUNDS);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void OnTenThousandFriends() {
    test::OnlineRobot::Options options;
    options.scenario_json =
        ReadFile(std::string(ZELMO_SOURCE_DIR) + "/tools/sim/scenarios/bench10k.json");
    options.uin = "2100000002";
    options.synccheck_hold_ms = 1000;
    test::OnlineRobot online(options);
    const std::string failure = online.Start(std::chrono::seconds(300));
    if (!failure.empty()) {
        std::printf("10,000 friends: %s\n", failure.c_str());
        return;
    }
    app::Robot& robot = online.Robot();
    onebot::OneBotService service({robot.Link(),
                                   robot.Sessions(),
                                   robot.Contacts(),
                                   robot.Keys(),
                                   robot.Connection(),
                                   robot.Sender(),
                                   robot.ReplyGuard(),
                                   robot.Settings(),
                                   online.AccountDir() + "/onebot",
                                   "bench",
                                   {}},
                                  WebSocketOnly());
    const std::vector<onebot::ListenerReport> reports = service.Start();
    test::WsPeer client;
    if (reports.empty() || !client.Connect(reports[0].port, "/").empty() || !client.Receive(WAIT)) {
        std::printf("10,000 friends: could not connect\n");
        return;
    }

    std::size_t bytes = 0;
    const std::vector<double> round_trip = FriendListRoundTrips(reports[0].port, 20, bytes);
    std::printf(
        "get_friend_list of bench10k.json (its 6,666 friends of 10,000 contacts, %zu "
        "bytes): WebSocket round trip median %.2f ms, max %.2f ms\n",
        bytes, Percentile(round_trip, 0.5), Percentile(round_trip, 1.0));

    // 1,000 actions at once on the one connection: nine reads to a send, each send to
    // another friend (the per-chat limit is the robot's, not the subject here).
    std::vector<std::string> ids;
    for (const contacts::ContactRecord& contact : robot.Contacts().Snapshot()) {
        if (contact.UserName.find("@@") == std::string::npos) {
            ids.push_back(contact.UserName);
        }
    }
    constexpr int ACTIONS = 1000;
    const std::size_t sent_before = online.Sim().SentMessages().size();
    int sends = 0;
    const Steady::time_point start = Steady::now();
    for (int i = 0; i < ACTIONS; ++i) {
        json request = {{"echo", i}};
        const std::string& id = ids[static_cast<std::size_t>(i) % ids.size()];
        switch (i % 10) {
            case 0:
                request["action"] = "send_message";
                request["params"] = {{"detail_type", "private"},
                                     {"user_id", id},
                                     {"message", "bench " + std::to_string(i)}};
                ++sends;
                break;
            case 1:
            case 2:
                request["action"] = "get_status";
                request["params"] = json::object();
                break;
            default:
                request["action"] = "get_user_info";
                request["params"] = {{"user_id", id}};
        }
        client.SendText(request.dump());
    }
    const double written_ms = Ms(Steady::now() - start);
    int failed = 0;
    int reads = 0;
    double reads_ms = 0;
    for (int answered = 0; answered < ACTIONS; ++answered) {
        const std::optional<std::string> frame = client.ReceiveResponse(std::chrono::seconds(120));
        if (!frame) {
            std::printf("1,000 actions: only %d answered\n", answered);
            return;
        }
        const json response = json::parse(*frame);
        failed += response["retcode"] == 0 ? 0 : 1;
        if (response["echo"].get<int>() % 10 != 0 && ++reads == ACTIONS - sends) {
            reads_ms = Ms(Steady::now() - start);
        }
    }
    const double all_ms = Ms(Steady::now() - start);
    std::printf(
        "1,000 actions on one connection: written in %.1f ms, the %d reads answered "
        "after %.1f ms (%.0f actions/s), the %d sends after %.1f ms behind the pace "
        "(the test screen scales the 500 ms send pause by 0.01); %d failed; %zu texts "
        "reached the simulator\n",
        written_ms, ACTIONS - sends, reads_ms, (ACTIONS - sends) * 1000.0 / reads_ms, sends, all_ms,
        failed, online.Sim().SentMessages().size() - sent_before);
    robot.Stop();
}

}  // namespace

int main() {
    // The allocator as the programs set it up.
    platform::UseOneArena();
    platform::KeepLargeBlocksApart();
    IncomingLatency();
    TenThousandFriends();
    OnTenThousandFriends();
    return 0;
}
