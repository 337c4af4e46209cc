#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FaultRig.h"
#include "app/WindowActions.h"
#include "config/Settings.h"
#include "jobs/Backoff.h"
#include "jobs/JobQueue.h"
#include "messages/MessageJobs.h"
#include "messages/Sending.h"
#include "platform/Encoding.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"

// The running robot under load and under the simulator's faults: nothing received is lost
// or handled twice, nothing is sent twice, and a failing service is not hammered. Each case
// has its own simulator; the robot's pauses run at a twentieth of their length.

namespace zelmo::faults {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;
using test::StubScreen;

constexpr auto WAIT = 30s;
constexpr double SCALE = 0.05;

FaultRig::Options Running() {
    FaultRig::Options options;
    options.delay_scale = SCALE;
    // A poll without news comes back within a second, so a robot that is back shows it.
    options.synccheck_hold_ms = 1000;
    return options;
}

// A robot pause as the stub screen really waits it, in ms.
std::int64_t Scaled(int ms) {
    return static_cast<std::int64_t>(ms * SCALE);
}

struct Row {
    std::string label;
    std::string source;
    std::string destination;
    std::string content;
};

std::vector<Row> LogRows(const StubScreen& screen) {
    std::vector<Row> rows;
    for (const std::string& text : screen.TextsOf("AddLogRow")) {
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (std::size_t tab = text.find('\t'); cells.size() < 4 && tab != std::string::npos;
             tab = text.find('\t', start)) {
            cells.push_back(text.substr(start, tab - start));
            start = tab + 1;
        }
        cells.push_back(text.substr(start));
        if (cells.size() == 5) {
            rows.push_back({cells[0], cells[2], cells[3], cells[4]});
        }
    }
    return rows;
}

std::vector<Row> RowsLabelled(const StubScreen& screen, std::string_view label_utf8) {
    std::vector<Row> rows = LogRows(screen);
    std::erase_if(rows, [&](const Row& row) { return row.label != Gbk(label_utf8); });
    return rows;
}

// True once the screen holds `count` log rows with one of those labels. Counts each call
// once, so ten thousand rows cost no more than reading them.
bool WaitForRows(StubScreen& screen, std::vector<std::string_view> labels_utf8, std::size_t count) {
    std::vector<std::string> starts;
    for (const std::string_view label : labels_utf8) {
        starts.push_back(Gbk(label) + "\t");
    }
    std::size_t read = 0;
    std::size_t found = 0;
    return screen.WaitUntil(
        [&](const std::vector<StubScreen::Call>& calls) {
            for (; read < calls.size(); ++read) {
                found += calls[read].name == "AddLogRow" &&
                         std::any_of(starts.begin(), starts.end(), [&](const std::string& start) {
                             return calls[read].text.starts_with(start);
                         });
            }
            return found >= count;
        },
        WAIT);
}

bool WaitForRows(StubScreen& screen, std::string_view label_utf8, std::size_t count) {
    return WaitForRows(screen, std::vector<std::string_view>{label_utf8}, count);
}

bool WaitForLastCaption(StubScreen& screen, std::string_view caption_utf8) {
    const std::string caption = Gbk(caption_utf8);
    return screen.WaitUntil(
        [&](const std::vector<StubScreen::Call>& calls) {
            for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
                if (it->name == "SetMainCaption") {
                    return it->text == caption;
                }
            }
            return false;
        },
        WAIT);
}

// The reply a learning command "问：q{n}答：a{n}" gets (UTF-8, as the simulator decodes it).
std::string Learned(std::size_t n) {
    return "学习成功！对我说q" + std::to_string(n) + "试试吧！";
}

std::vector<std::int64_t> Gaps(const std::vector<std::int64_t>& times) {
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) {
        gaps.push_back(times[i] - times[i - 1]);
    }
    return gaps;
}

// Each gap is at least the back-off that precedes the request: first_ms doubling, plus
// the loop's own pause.
void ExpectBackingOff(const std::vector<std::int64_t>& gaps, int first_ms, int extra_ms,
                      std::size_t count) {
    ASSERT_GE(gaps.size(), count);
    int wait = first_ms;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_GE(gaps[i], Scaled(wait + extra_ms)) << "gap " << i;
        wait *= 2;
    }
}

// Every accepted send's ClientMsgId: 17 digits, its LocalID too, each above the last.
void ExpectFreshIds(const std::vector<sim::SentMessage>& sent) {
    std::string last;
    for (const sim::SentMessage& message : sent) {
        EXPECT_EQ(message.client_msg_id.size(), 17u) << message.client_msg_id;
        EXPECT_EQ(message.client_msg_id.find_first_not_of("0123456789"), std::string::npos);
        EXPECT_EQ(message.local_id, message.client_msg_id);
        EXPECT_GT(message.client_msg_id, last);
        last = message.client_msg_id;
    }
}

std::size_t CountSent(const std::vector<sim::SentMessage>& sent, std::string_view content) {
    return static_cast<std::size_t>(std::count_if(
        sent.begin(), sent.end(), [&](const sim::SentMessage& m) { return m.content == content; }));
}

TEST(RunningFaultMatrix, UnderLoadWithAPollFaultNoMessageIsLostAndNoReplyRepeated) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    constexpr std::size_t COUNT = 200;
    constexpr std::size_t EVERY = 10;
    sim::BulkMessages bulk;
    bulk.message.text = "msg {n}";
    bulk.senders = {"alice", "bob"};
    bulk.count = COUNT;
    bulk.per_second = 100;
    bulk.special_every = EVERY;
    bulk.special_text = "问：q{n}答：a{n}";
    rig.Sim().QueueMessages(bulk);

    // Halfway, the polls fail for a while.
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↓]好友", COUNT / 2));
    const std::size_t polls = rig.RequestCount("synccheck");
    rig.Sim().SetFault("synccheck", sim::Fault{.kind = sim::FaultKind::Http500, .sticky = true});
    ASSERT_TRUE(rig.Sim().WaitForRequests("synccheck", polls + 4, WAIT));
    rig.Sim().ClearFaults();

    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↓]好友", COUNT));
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(COUNT / EVERY, WAIT));
    std::multiset<std::string> handled;
    for (const Row& row : RowsLabelled(rig.Screen(), "[↓]好友")) {
        handled.insert(row.content);
    }
    for (std::size_t n = 1; n <= COUNT; ++n) {
        const std::string text =
            n % EVERY == 0 ? Gbk("问：q" + std::to_string(n) + "答：a" + std::to_string(n))
                           : "msg " + std::to_string(n);
        EXPECT_EQ(handled.count(text), 1u) << text;
    }
    EXPECT_EQ(handled.size(), COUNT);

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    for (std::size_t n = EVERY; n <= COUNT; n += EVERY) {
        EXPECT_EQ(CountSent(sent, Learned(n)), 1u) << n;
    }
    EXPECT_EQ(sent.size(), COUNT / EVERY);
    ExpectFreshIds(sent);
    const std::vector<std::string> captions = rig.Screen().TextsOf("SetMainCaption");
    EXPECT_NE(std::find(captions.begin(), captions.end(), Gbk("Zelmo 5.3  监听失败")),
              captions.end());
    EXPECT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  在线"));
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

TEST(RunningFaultMatrix, IntakeGoesOnWhileRefusedSendsBackOffAndEachReplyLeavesOnceInOrder) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    rig.Sim().RefuseSends(1205, -1);
    constexpr std::size_t COUNT = 40;
    constexpr std::size_t EVERY = 4;
    for (std::size_t n = 1; n <= COUNT; ++n) {
        const std::string number = std::to_string(n);
        rig.Sim().DeliverMessage(
            {.from = n % 2 == 0 ? "alice" : "bob",
             .text = n % EVERY == 0 ? "问：q" + number + "答：a" + number : "msg " + number});
    }
    // Every message is handled while the first reply is still being refused.
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↓]好友", COUNT));
    EXPECT_TRUE(rig.Sim().SentMessages().empty());
    // The third try is on its way, so two were answered with the refusal.
    ASSERT_TRUE(rig.Sim().WaitForRequests("webwxsendmsg", 3, WAIT));
    rig.Sim().RefuseSends(0, 0);
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(COUNT / EVERY, WAIT));

    const std::vector<sim::SentMessage> refused = rig.Sim().RefusedMessages();
    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_GE(refused.size(), 2u);
    ASSERT_EQ(sent.size(), COUNT / EVERY);
    // The refused text went again as the very next send, with the same ids, until taken.
    for (const sim::SentMessage& attempt : refused) {
        EXPECT_EQ(attempt.content, sent[0].content);
        EXPECT_EQ(attempt.client_msg_id, sent[0].client_msg_id);
        EXPECT_EQ(attempt.local_id, sent[0].local_id);
        EXPECT_EQ(attempt.ret, 1205);
    }
    std::vector<std::int64_t> attempts;
    for (const sim::SentMessage& attempt : refused) {
        attempts.push_back(attempt.at_ms);
    }
    attempts.push_back(sent[0].at_ms);
    ExpectBackingOff(Gaps(attempts), messages::REFUSED_FIRST_WAIT_MS, messages::SEND_PAUSE_MS,
                     refused.size());
    // Each once, never closer than the pace.
    for (std::size_t n = EVERY; n <= COUNT; n += EVERY) {
        EXPECT_EQ(CountSent(sent, Learned(n)), 1u) << n;
    }
    ExpectBackingOff(Gaps({sent[0].at_ms, sent[1].at_ms}), messages::SEND_PAUSE_MS, 0, 1);
    ExpectFreshIds(sent);
    EXPECT_TRUE(RowsLabelled(rig.Screen(), "[↑]未发送").empty());
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

TEST(RunningFaultMatrix, UnsendableTextsAreLoggedNotRetriedAndLateRepliesExpire) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    app::Robot& robot = rig.Bot();
    robot.Settings().Update([](config::Settings& settings) { settings.回复过期秒数 = "1"; });
    const std::string alice = rig.Sim().UserNameOf("alice");
    rig.Sim().RefuseSends(1205, messages::MAX_SEND_TRIES);
    app::SendChatText(robot, alice, "refused every time");
    // A reply that has to wait behind it for the whole back-off (over 3 s here).
    rig.Sim().DeliverMessage({.from = "bob", .text = "问：late答：reply"});
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↓]好友", 1));
    // Its last refusal answered and logged, the service refuses the next send otherwise.
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↑]未发送", 1));
    rig.Sim().RefuseSends(1, 1);
    app::SendChatText(robot, alice, "refused once");
    app::SendChatText(robot, alice, "taken");
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(1, WAIT));
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↑]未发送", 3));

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].content, "taken");
    const std::vector<sim::SentMessage> refused = rig.Sim().RefusedMessages();
    ASSERT_EQ(refused.size(), static_cast<std::size_t>(messages::MAX_SEND_TRIES) + 1);
    EXPECT_EQ(refused.back().content, "refused once");
    EXPECT_EQ(refused.back().ret, 1);
    const std::vector<Row> unsent = RowsLabelled(rig.Screen(), "[↑]未发送");
    ASSERT_EQ(unsent.size(), 3u);
    EXPECT_EQ(unsent[0].content,
              Gbk("发送过于频繁(Ret 1205)，6次均被拒，未发送：refused every time"));
    EXPECT_TRUE(unsent[1].content.starts_with(Gbk("回复等待")));
    EXPECT_TRUE(unsent[1].content.ends_with(Gbk("秒已过期，未发送：学习成功！对我说late试试吧！")));
    EXPECT_EQ(unsent[1].destination, Gbk("Bob"));
    EXPECT_EQ(unsent[2].content, Gbk("发送失败(Ret 1)，未发送：refused once"));
    EXPECT_EQ(unsent[2].destination, Gbk("Alice"));

    // A reply that ages while it backs off itself is dropped before the try that would be
    // late (the fifth comes after more than 1.5 s of back-off here), not sent late.
    rig.Sim().RefuseSends(1205, 4);
    rig.Sim().DeliverMessage({.from = "alice", .text = "问：slow答：reply"});
    ASSERT_TRUE(WaitForRows(rig.Screen(), "[↑]未发送", 4));
    const std::vector<Row> late = RowsLabelled(rig.Screen(), "[↑]未发送");
    EXPECT_TRUE(late[3].content.starts_with(Gbk("回复等待")));
    EXPECT_TRUE(late[3].content.ends_with(Gbk("秒已过期，未发送：学习成功！对我说slow试试吧！")));
    EXPECT_EQ(late[3].destination, Gbk("Alice"));
    EXPECT_GE(rig.Sim().RefusedMessages().size(), refused.size() + 2);
    EXPECT_EQ(rig.Sim().SentMessages().size(), 1u);
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

// The start-up's sync acknowledges the history the service keeps for a new session. When
// it fails (no answer, a cut one), it is tried again before the heartbeat polls, so the
// history never reaches the heartbeat's first sync and is never answered.
TEST(RunningFaultMatrix, AFailedFirstSyncIsTriedAgainSoHistoryIsNeverAnswered) {
    for (const sim::FaultKind kind : {sim::FaultKind::Reset, sim::FaultKind::CutBeforeSyncKey}) {
        FaultRig rig(Running());
        rig.Sim().DeliverMessage({.from = "bob", .text = "问：old答：history"});
        rig.Sim().SetFault("webwxsync", sim::Fault{.kind = kind, .times = 2});
        ASSERT_EQ(rig.StartRobot(), "");
        rig.Sim().DeliverMessage({.from = "alice", .text = "问：new答：fresh"});
        ASSERT_TRUE(rig.Sim().WaitForSentMessages(1, WAIT));
        const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].content, "学习成功！对我说new试试吧！");
        EXPECT_GE(rig.RequestCount("webwxsync"), 3u);
        EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
    }
}

TEST(RunningFaultMatrix, ACutSyncAnswerIsNotActedOnSoABurstIsAnsweredOnce) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    rig.Sim().SetFault("webwxsync", sim::Fault{.kind = sim::FaultKind::CutBeforeSyncKey});
    // Three at once, so the cut answer holds them all.
    sim::BulkMessages burst;
    burst.message.from = "alice";
    burst.count = 3;
    burst.special_every = 1;
    burst.special_text = "问：q{n}答：a{n}";
    rig.Sim().QueueMessages(burst);
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(3, WAIT));
    // Once the burst was acknowledged, a last message: anything handled twice would have
    // been queued before it, and answered before it.
    rig.Sim().DeliverMessage({.from = "bob", .text = "问：q4答：a4"});
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(4, WAIT));

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    EXPECT_EQ(sent.size(), 4u);
    for (const std::size_t n : {1, 2, 3, 4}) {
        EXPECT_EQ(CountSent(sent, Learned(n)), 1u) << n;
    }
    EXPECT_EQ(RowsLabelled(rig.Screen(), "[↓]好友").size(), 4u);
    const std::vector<sim::DeliveryRecord> deliveries = rig.Sim().Deliveries();
    ASSERT_EQ(deliveries.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(deliveries[i].deliveries, 2) << "the cut answer carried it, then a whole one";
    }
    const std::vector<std::string> captions = rig.Screen().TextsOf("SetMainCaption");
    EXPECT_NE(std::find(captions.begin(), captions.end(), Gbk("Zelmo 5.3  请求失败")),
              captions.end());
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

TEST(RunningFaultMatrix, AFailingSyncIsNotHammeredAndItsNewsComeOnceWhenItRecovers) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    const std::size_t before = rig.RequestCount("webwxsync");
    rig.Sim().SetFault("webwxsync", sim::Fault{.kind = sim::FaultKind::Http500, .sticky = true});
    rig.Sim().DeliverMessage({.from = "alice", .text = "问：q1答：a1"});
    ASSERT_TRUE(rig.Sim().WaitForRequests("webwxsync", before + 6, WAIT));
    EXPECT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  请求失败"));
    rig.Sim().ClearFaults();
    ASSERT_TRUE(rig.Sim().WaitForSentMessages(1, WAIT));
    EXPECT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  在线"));

    std::vector<std::int64_t> syncs = rig.RequestTimes("webwxsync");
    syncs.erase(syncs.begin(), syncs.begin() + static_cast<long>(before));
    ExpectBackingOff(Gaps(syncs), jobs::SERVICE_RETRY_FIRST_MS, 0, 5);
    EXPECT_EQ(CountSent(rig.Sim().SentMessages(), Learned(1)), 1u);
    EXPECT_EQ(RowsLabelled(rig.Screen(), "[↓]好友").size(), 1u);
}

class RunningRetcodes : public ::testing::TestWithParam<const char*> {};

TEST_P(RunningRetcodes, APollRefusedForGoodShowsListeningFailedAndBacksOff) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    // Without 自动重新登录, so that 1102 stays a poll refused and is not a re-login.
    rig.Bot().Settings().Update([](config::Settings& settings) { settings.自动重新登录 = false; });
    ASSERT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  在线"));
    const std::size_t shown = rig.Screen().CountOf("SetMainCaption");
    const std::size_t before = rig.RequestCount("synccheck");
    rig.Sim().ForceSyncCheck(GetParam(), "0", -1);
    ASSERT_TRUE(rig.Sim().WaitForRequests("synccheck", before + 6, WAIT));
    ASSERT_TRUE(rig.Screen().WaitForCall("SetMainCaption", WAIT, shown + 6));
    // From the held poll on, every answer was the code: never shown as online.
    const std::vector<std::string> captions = rig.Screen().TextsOf("SetMainCaption");
    for (std::size_t i = shown; i < captions.size(); ++i) {
        EXPECT_EQ(captions[i], Gbk("Zelmo 5.3  监听失败")) << i;
    }
    // The first poll after the held one followed the first back-off; the gaps after it
    // follow the next ones.
    std::vector<std::int64_t> polls = rig.RequestTimes("synccheck");
    polls.erase(polls.begin(), polls.begin() + static_cast<long>(before + 1));
    ExpectBackingOff(Gaps(polls), 2 * jobs::SERVICE_RETRY_FIRST_MS, 500, 4);
    EXPECT_EQ(rig.Bot().Connection().State(), protocol::STATE_LISTEN_FAILED);

    rig.Sim().ForceSyncCheck("", "", 0);
    EXPECT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  在线"));
    EXPECT_EQ(rig.RequestCount("webwxlogout"), 0u);
}

INSTANTIATE_TEST_SUITE_P(UnknownOrPermanent, RunningRetcodes,
                         ::testing::Values("9999", "1205", "1102"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string("Retcode") + info.param;
                         });

TEST(RunningFaultMatrix, FailedContactFetchesAreTriedAgainUntilEveryContactIsKnown) {
    FaultRig rig(Running());
    rig.Sim().SetFault("webwxgetcontact", sim::Fault{.kind = sim::FaultKind::Http500, .times = 2});
    ASSERT_EQ(rig.StartRobot(), "");
    contacts::ContactStore& store = rig.Bot().Contacts();
    const std::size_t all = rig.Sim().Contacts().size();
    ASSERT_TRUE(rig.Screen().WaitUntil([&](const auto&) { return store.Count() == all; }, WAIT));
    EXPECT_EQ(rig.RequestCount("webwxgetcontact"), 3u);
    ASSERT_TRUE(rig.Screen().WaitForCall("GroupMembersFetched", WAIT));

    // A new friend whose details fail twice.
    const std::size_t lists = rig.Screen().CountOf("RefreshContactLists");
    rig.Sim().SetFault("webwxbatchgetcontact",
                       sim::Fault{.kind = sim::FaultKind::Http500, .times = 2});
    sim::ContactSpec dave;
    dave.id = "dave";
    dave.nick_name = "Dave";
    rig.Sim().ChangeContact(dave);
    ASSERT_TRUE(rig.Screen().WaitForCall("RefreshContactLists", WAIT, lists + 1));
    EXPECT_NE(store.FindContactIndex(rig.Sim().UserNameOf("dave")), 0u);
    EXPECT_EQ(store.Count(), all + 1);
}

TEST(RunningFaultMatrix, OfflineJobsWaitAndAFullQueueDropsItsOldestWithALogRow) {
    FaultRig rig(Running());
    ASSERT_EQ(rig.StartRobot(), "");
    app::Robot& robot = rig.Bot();
    ASSERT_TRUE(rig.Screen().WaitForCall("GroupMembersFetched", WAIT));
    robot.Settings().Update([](config::Settings& settings) { settings.自动重新登录 = false; });
    // Offline for good (no re-login): the workers take what they can and wait with it.
    rig.Sim().ForceSyncCheck("1101", "0", -1);
    ASSERT_TRUE(WaitForLastCaption(rig.Screen(), "Zelmo 5.3  离线"));
    const std::string alice = rig.Sim().UserNameOf("alice");
    const auto item = [&](std::size_t n) {
        return "{\"MsgId\": \"" + std::to_string(n) + "\",\n\"FromUserName\": \"" + alice +
               "\",\n\"ToUserName\": \"" + robot.State()->own.UserName +
               "\",\n\"MsgType\": 1,\n\"Content\": \"job " + std::to_string(n) + "\"\n}";
    };
    std::size_t posted = 0;
    for (; posted < 20; ++posted) {
        jobs::PostJob(robot.Queue(), messages::JOB_INCOMING_MESSAGE, item(posted));
    }
    ASSERT_TRUE(robot.Connection().WaitForWaiters(20, WAIT));
    constexpr std::size_t OVER = 3;
    for (; posted < 20 + jobs::JobQueue::DEFAULT_LIMIT + OVER; ++posted) {
        jobs::PostJob(robot.Queue(), messages::JOB_INCOMING_MESSAGE, item(posted));
    }
    const std::vector<Row> dropped = RowsLabelled(rig.Screen(), "[↓]未处理");
    ASSERT_EQ(dropped.size(), OVER);
    for (std::size_t i = 0; i < OVER; ++i) {
        EXPECT_EQ(dropped[i].content, Gbk("待处理任务过多，已丢弃：job ") + std::to_string(20 + i));
        EXPECT_EQ(dropped[i].source, Gbk("Alice"));
    }
    EXPECT_TRUE(RowsLabelled(rig.Screen(), "[↓]好友").empty());

    // Online again: every message is handled, or (when the jobs it brings on fill the queue
    // once more) logged as dropped; none is lost without a word, none handled twice.
    rig.Sim().ForceSyncCheck("", "", 0);
    ASSERT_TRUE(
        WaitForRows(rig.Screen(), std::vector<std::string_view>{"[↓]好友", "[↓]未处理"}, posted));
    std::multiset<std::string> accounted;
    for (const Row& row : RowsLabelled(rig.Screen(), "[↓]好友")) {
        accounted.insert(row.content);
    }
    const std::string why = Gbk("待处理任务过多，已丢弃：");
    for (const Row& row : RowsLabelled(rig.Screen(), "[↓]未处理")) {
        accounted.insert(row.content.substr(why.size()));
    }
    for (std::size_t n = 0; n < posted; ++n) {
        EXPECT_EQ(accounted.count("job " + std::to_string(n)), 1u) << n;
    }
    EXPECT_EQ(accounted.size(), posted);
}

}  // namespace
}  // namespace zelmo::faults
