#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Regex.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"
#include "support/SimSession.h"

namespace zelmo::interop {
namespace {

using namespace std::chrono_literals;
using platform::Utf8ToGbk;
using protocol::ExtractBetween;

constexpr auto ARRIVAL_TIMEOUT = 10s;

struct CheckResult {
    std::string retcode;
    std::string selector;
};

CheckResult ReadCheck(std::string_view answer) {
    return {ExtractBetween(answer, "retcode:\"", "\""),
            ExtractBetween(answer, "selector:\"", "\"")};
}

struct Item {
    std::string from;
    std::string content;
};

// The new messages of a webwxsync answer, cut as the heartbeat and the intake cut them.
std::vector<Item> NewMessages(std::string_view answer) {
    static const platform::Regex message_pattern(R"(MsgId.*?Ticket": ".*?")");
    const std::string list = ExtractBetween(answer, "\n\"AddMsgList\": ", "\"ModContactCount\": ");
    std::vector<Item> items;
    for (const std::string_view match : message_pattern.FindAll(list)) {
        items.push_back({ExtractBetween(match, "\"FromUserName\": \"", "\""),
                         protocol::ExtractJsonString(match, "\"Content\": \"")});
    }
    return items;
}

class SyncInterop : public EraTest {};

TEST_P(SyncInterop, HeldSyncCheckWakesAndWebSyncDeliversTheNewsUntilAcknowledged) {
    sim::Simulator& simulator = Rig().Sim();
    auto held = std::async(std::launch::async, [this] { return Rig().SyncCheck(); });
    ASSERT_TRUE(simulator.WaitForRequest("synccheck", ARRIVAL_TIMEOUT));
    sim::MessageSpec quoted;
    quoted.from = "alice";
    quoted.text = "她说 \"好\" \\ ok 😹!";
    simulator.DeliverMessage(quoted);
    sim::MessageSpec group;
    group.from = "team";
    group.member = "bob";
    group.text = "大家好\n第二行";
    simulator.DeliverMessage(group);

    const CheckResult check = ReadCheck(held.get());
    EXPECT_EQ(check.retcode, "0");
    EXPECT_EQ(check.selector, "2");

    const protocol::SyncKey old_key = Rig().State().sync_key;
    const std::string answer = Rig().WebSync(old_key.json);
    EXPECT_EQ(ExtractBetween(answer, "Ret\": ", ","), "0");
    const std::vector<Item> items = NewMessages(answer);
    ASSERT_EQ(items.size(), 2u) << answer;
    EXPECT_EQ(items[0].from, simulator.UserNameOf("alice"));
    EXPECT_EQ(items[0].content,
              Utf8ToGbk("她说 \"好\" \\ ok <span class=\"emoji emoji1f639\"></span>!"));
    EXPECT_EQ(protocol::StripSpanTags(items[0].content), Utf8ToGbk("她说 \"好\" \\ ok !"));
    EXPECT_EQ(items[1].from, simulator.UserNameOf("team"));
    EXPECT_TRUE(items[1].from.starts_with("@@"));
    const std::string member = simulator.UserNameOf("bob");
    EXPECT_TRUE(member.starts_with("@") && !member.starts_with("@@"));
    EXPECT_EQ(items[1].content, member + Utf8ToGbk(":<br/>大家好<br/>第二行"));

    protocol::SyncKey new_key = old_key;
    ASSERT_TRUE(protocol::UpdateSyncKey(answer, new_key));
    EXPECT_NE(new_key.text, old_key.text);
    EXPECT_NE(new_key.json, old_key.json);

    // Nothing is acknowledged until a key that covers it comes back.
    EXPECT_EQ(NewMessages(Rig().WebSync(old_key.json)).size(), 2u);
    const std::string acknowledged = Rig().WebSync(new_key.json);
    EXPECT_EQ(ExtractBetween(acknowledged, "Ret\": ", ","), "0");
    EXPECT_EQ(ExtractBetween(acknowledged, "\"AddMsgCount\": ", ","), "0");
    EXPECT_TRUE(NewMessages(acknowledged).empty());
    EXPECT_TRUE(simulator.Violations().empty()) << ViolationText(simulator);
}

TEST_P(SyncInterop, NewsWaitingBeforeThePollIsSignalledAtOnceWithTheAdvancedKey) {
    sim::Simulator& simulator = Rig().Sim();
    sim::MessageSpec text;
    text.from = "bob";
    text.text = "first";
    simulator.DeliverMessage(text);
    EXPECT_EQ(ReadCheck(Rig().SyncCheck()).selector, "2");
    const std::string answer = Rig().WebSync(Rig().State().sync_key.json);
    ASSERT_EQ(NewMessages(answer).size(), 1u);
    ASSERT_TRUE(protocol::UpdateSyncKey(answer, Rig().State().sync_key));

    // The synccheck form of the advanced key is one the service issued and covers the news:
    // only the next message wakes the poll.
    auto held = std::async(std::launch::async, [this] { return Rig().SyncCheck(); });
    ASSERT_TRUE(simulator.WaitForRequests("synccheck", 2, ARRIVAL_TIMEOUT));
    text.text = "second";
    simulator.DeliverMessage(text);
    EXPECT_EQ(ReadCheck(held.get()).selector, "2");
    const std::vector<Item> items = NewMessages(Rig().WebSync(Rig().State().sync_key.json));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].content, "second");
    EXPECT_TRUE(simulator.Violations().empty()) << ViolationText(simulator);
}

TEST_P(SyncInterop, LogoutIsRead1100ByAHeldAndEveryLaterSyncCheck) {
    sim::Simulator& simulator = Rig().Sim();
    auto held = std::async(std::launch::async, [this] { return Rig().SyncCheck(); });
    ASSERT_TRUE(simulator.WaitForRequest("synccheck", ARRIVAL_TIMEOUT));
    simulator.EndSession(1100);
    const CheckResult woken = ReadCheck(held.get());
    EXPECT_EQ(woken.retcode, "1100");
    EXPECT_EQ(woken.selector, "0");
    EXPECT_EQ(ReadCheck(Rig().SyncCheck()).retcode, "1100");
}

INSTANTIATE_TEST_SUITE_P(Eras, SyncInterop,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018), EraName);

}  // namespace
}  // namespace zelmo::interop
