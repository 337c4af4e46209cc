#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Heartbeat.h"
#include "app/Startup.h"
#include "contacts/ContactJobs.h"
#include "messages/MessageJobs.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/JsonText.h"
#include "protocol/SyncRequests.h"
#include "protocol/TextHelpers.h"
#include "support/OnlineRobot.h"
#include "support/SyncRig.h"

namespace zelmo::test {
namespace {

using jobs::Job;
using platform::Gbk;
using protocol::CaptionFor;

std::vector<std::string> Captions(const StubScreen& screen) {
    return screen.TextsOf("SetMainCaption");
}

// True when `second` shows after some `first`.
bool ShownAfter(const std::vector<std::string>& captions, const std::string& first,
                const std::string& second) {
    const auto found = std::find(captions.begin(), captions.end(), first);
    return found != captions.end() && std::find(found, captions.end(), second) != captions.end();
}

std::vector<sim::RecordedRequest> RequestsTo(const sim::Simulator& simulator,
                                             std::string_view path_part) {
    std::vector<sim::RecordedRequest> found;
    for (const sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path.find(path_part) != std::string::npos) {
            found.push_back(request);
        }
    }
    return found;
}

class HeartbeatEras : public ::testing::TestWithParam<sim::Era> {};

TEST_P(HeartbeatEras, ThreeWaitingMessagesBecomeThreeJobsInAnswerOrder) {
    SyncRig rig({GetParam()});
    ASSERT_EQ(rig.LogIn(), "");
    sim::Simulator& simulator = rig.Sim();
    const std::vector<sim::MessageSpec> messages = {
        {.from = "alice", .text = "one"},
        {.from = "team", .member = "bob", .text = "two"},
        {.from = "bob", .text = "three"},
    };
    for (const sim::MessageSpec& message : messages) {
        simulator.DeliverMessage(message);
    }
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.WaitCycleAfter("webwxsync", 1));

    const std::vector<Job> jobs = rig.TakeJobs();
    ASSERT_EQ(jobs.size(), 3u);
    const std::vector<std::string> senders = {
        simulator.UserNameOf("alice"), simulator.UserNameOf("team"), simulator.UserNameOf("bob")};
    const std::vector<std::string> contents = {"one", simulator.UserNameOf("bob") + ":<br/>two",
                                               "three"};
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(jobs[i].kind, messages::JOB_INCOMING_MESSAGE);
        const std::string& item = jobs[i].texts[0];
        EXPECT_EQ(protocol::ExtractBetween(item, "\"FromUserName\": \"", "\","), senders[i]);
        EXPECT_EQ(protocol::ExtractJsonString(item, "\"Content\": \""), contents[i]);
        EXPECT_EQ(jobs[i].texts[1] + jobs[i].texts[2] + jobs[i].texts[3], "");
    }
    // All three came in the one answer, and the advanced key acknowledged them.
    EXPECT_EQ(rig.RequestCount("webwxsync"), 1u);
    EXPECT_EQ(Captions(rig.Screen()).back(), CaptionFor(protocol::STATE_ONLINE));
}

INSTANTIATE_TEST_SUITE_P(Eras, HeartbeatEras,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018),
                         [](const ::testing::TestParamInfo<sim::Era>& info) {
                             return info.param == sim::Era::Early2016 ? "Early2016" : "Late2018";
                         });

TEST(HeartbeatTest, PollsWithoutNewsSendNoWebSyncAndShowOnline) {
    SyncRig rig({.synccheck_hold_ms = 50});
    ASSERT_EQ(rig.LogIn(), "");
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.WaitCycleAfter("synccheck", 4));
    EXPECT_EQ(rig.RequestCount("webwxsync"), 0u);
    const std::vector<std::string> captions = Captions(rig.Screen());
    ASSERT_GE(captions.size(), 3u);
    for (const std::string& caption : captions) {
        EXPECT_EQ(caption, Gbk("Zelmo 5.3  在线"));
    }
    EXPECT_TRUE(rig.TakeJobs().empty());
    EXPECT_TRUE(rig.Sim().Violations().empty());
}

TEST(HeartbeatTest, TwoModifiedContactsGiveOneJobForTheFirstAndNoMessageIsPostedTwice) {
    SyncRig rig;
    ASSERT_EQ(rig.LogIn(), "");
    sim::ContactSpec carol;
    carol.id = "carol";
    carol.nick_name = "Carol";
    sim::ContactSpec dave;
    dave.id = "dave";
    dave.nick_name = "Dave";
    rig.Sim().ChangeContact(carol);
    rig.Sim().ChangeContact(dave);
    rig.Sim().DeliverMessage({.from = "alice", .text = "one"});
    rig.Sim().DeliverMessage({.from = "bob", .text = "two"});

    protocol::SyncAnswer news;
    ASSERT_TRUE(app::SyncAndKeepKey(rig.Robot(), news));
    app::PostSyncNews(rig.Robot().Queue(), rig.Robot().HandledMessages(), news);
    std::vector<Job> jobs = rig.TakeJobs();
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].kind, messages::JOB_INCOMING_MESSAGE);
    EXPECT_EQ(jobs[1].kind, messages::JOB_INCOMING_MESSAGE);
    EXPECT_EQ(jobs[2].kind, contacts::JOB_CONTACT_CHANGED);
    EXPECT_EQ(jobs[2].texts[0], rig.Sim().UserNameOf("carol"));

    // The same news again (the service repeats what a lost answer held): the messages
    // were handed on already.
    app::PostSyncNews(rig.Robot().Queue(), rig.Robot().HandledMessages(), news);
    jobs = rig.TakeJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].kind, contacts::JOB_CONTACT_CHANGED);
}

TEST(HeartbeatTest, AFailedWebSyncKeepsTheSyncKeySoTheNewsComeAgain) {
    SyncRig rig;
    ASSERT_EQ(rig.LogIn(), "");
    const protocol::SyncKey before = rig.Robot().State()->sync_key;
    rig.Sim().SetFault("webwxsync", sim::Fault{.kind = sim::FaultKind::Http500});
    rig.Sim().DeliverMessage({.from = "alice", .text = "again"});
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.WaitCycleAfter("webwxsync", 2));

    const std::vector<sim::RecordedRequest> syncs = RequestsTo(rig.Sim(), "webwxsync");
    ASSERT_GE(syncs.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(protocol::ExtractBetween(syncs[i].body, "\"SyncKey\":", ",\"rr\""), before.json);
    }
    EXPECT_TRUE(
        ShownAfter(Captions(rig.Screen()), Gbk("Zelmo 5.3  请求失败"), Gbk("Zelmo 5.3  在线")));
    const std::vector<Job> jobs = rig.TakeJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(protocol::ExtractJsonString(jobs[0].texts[0], "\"Content\": \""), "again");

    rig.Robot().Stop();
    ASSERT_TRUE(rig.WaitHeartbeatEnd());
    EXPECT_NE(rig.Robot().State()->sync_key.json, before.json);
}

TEST(HeartbeatTest, UnansweredPollsShowListeningFailedBackOffAndAWebSyncSaysWhenItIsBack) {
    SyncRig rig;
    ASSERT_EQ(rig.LogIn(), "");
    rig.Sim().SetFault("synccheck", sim::Fault{.kind = sim::FaultKind::Empty200, .times = 2});
    rig.Sim().SetFault("webwxsync", sim::Fault{.kind = sim::FaultKind::Empty200});
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.WaitCycles(4));
    const std::vector<std::string> captions = Captions(rig.Screen());
    ASSERT_GE(captions.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + 4),
              (std::vector<std::string>{Gbk("Zelmo 5.3  监听失败"), Gbk("Zelmo 5.3  监听失败"),
                                        Gbk("Zelmo 5.3  监听失败"), Gbk("Zelmo 5.3  在线")}));
    // After each unanswered poll a webwxsync asks whether the service is back: the first
    // fails too, the second finds it back without waiting for a held poll.
    const std::vector<sim::RecordedRequest> syncs = RequestsTo(rig.Sim(), "webwxsync");
    ASSERT_GE(syncs.size(), 2u);
    const std::vector<sim::RecordedRequest> polls = RequestsTo(rig.Sim(), "synccheck");
    ASSERT_GE(polls.size(), 2u);
    EXPECT_LT(polls[0].at_ms, syncs[0].at_ms);
    EXPECT_LT(syncs[0].at_ms, polls[1].at_ms);
    EXPECT_LT(polls[1].at_ms, syncs[1].at_ms);
    // Each failure in a row waits twice as long as the one before, besides the cycle's
    // 500 ms; an answered cycle waits 100 ms and ends the back-off.
    const std::vector<StubScreen::Call> calls = rig.Screen().Calls();
    std::vector<int> delays;
    for (const StubScreen::Call& call : calls) {
        if (call.name == "Delay") {
            delays.push_back(call.number);
        }
    }
    ASSERT_GE(delays.size(), 6u);
    EXPECT_EQ(std::vector<int>(delays.begin(), delays.begin() + 6),
              (std::vector<int>{1000, 500, 2000, 500, 4000, 500}));
    EXPECT_EQ(rig.Robot().Connection().State(), protocol::STATE_ONLINE);
}

// Without 自动重新登录 the loop ends for good.
TEST(HeartbeatTest, SessionEndedElsewhereSendsOneLogoutAndEndsTheLoop) {
    SyncRig rig;
    ASSERT_EQ(rig.LogIn(), "");
    rig.Robot().Settings().Update(
        [](config::Settings& settings) { settings.自动重新登录 = false; });
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.WaitCycles(1));
    rig.Sim().EndSession(1100);
    ASSERT_TRUE(rig.WaitHeartbeatEnd());

    const std::vector<sim::RecordedRequest> logouts = RequestsTo(rig.Sim(), "webwxlogout");
    ASSERT_EQ(logouts.size(), 1u);
    for (const sim::RecordedRequest& poll : RequestsTo(rig.Sim(), "synccheck")) {
        EXPECT_LE(poll.at_ms, logouts[0].at_ms);
    }
    EXPECT_TRUE(rig.Robot().HeartbeatStop().load());
    EXPECT_EQ(rig.Robot().Connection().State(), protocol::STATE_OFFLINE);
    EXPECT_EQ(Captions(rig.Screen()).back(), Gbk("Zelmo 5.3  离线"));
}

TEST(HeartbeatTest, APollAnsweredAfterACloseEndsTheLoopWithoutASecondLogout) {
    SyncRig rig({.synccheck_hold_ms = 25000});
    ASSERT_EQ(rig.LogIn(), "");
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.Sim().WaitForRequests("synccheck", 1, SyncRig::WAIT));
    // The close's order: stop flag, then the logout, which ends the held poll with 1100.
    rig.Robot().HeartbeatStop().store(true);
    protocol::SendLogout(rig.Robot().Link(), *rig.Robot().State());
    ASSERT_TRUE(rig.WaitHeartbeatEnd());
    EXPECT_EQ(rig.RequestCount("webwxlogout"), 1u);
    EXPECT_EQ(rig.RequestCount("synccheck"), 1u);
    EXPECT_TRUE(Captions(rig.Screen()).empty());
    EXPECT_EQ(rig.Robot().Connection().State(), protocol::STATE_ONLINE);
}

TEST(HeartbeatTest, StoppingTheRobotEndsAHeldPollAtOnce) {
    SyncRig rig({.synccheck_hold_ms = 25000});
    ASSERT_EQ(rig.LogIn(), "");
    rig.StartHeartbeat();
    ASSERT_TRUE(rig.Sim().WaitForRequests("synccheck", 1, SyncRig::WAIT));
    rig.Robot().Stop();
    // Far below the 25 s hold: the poll was aborted, not answered.
    ASSERT_TRUE(rig.WaitHeartbeatEnd(std::chrono::seconds(20)));
    EXPECT_EQ(rig.RequestCount("webwxlogout"), 0u);
}

// Without 自动重新登录, 1101 is shown and waited out.
TEST(HeartbeatTest, RunningRobotShowsOfflineWhileTheSessionIsInvalidThenOnlineAgain) {
    OnlineRobot online({.synccheck_hold_ms = 200, .prepare = [](const std::string& account_dir) {
                            platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                                      Gbk("[机器人设置]\r\n自动重新登录=0\r\n"));
                        }});
    ASSERT_EQ(online.Start(), "");
    StubScreen& screen = online.Screen();
    const std::string online_caption = Gbk("Zelmo 5.3  在线");
    const std::string offline_caption = Gbk("Zelmo 5.3  离线");
    const auto last_caption_is = [](const std::string& caption) {
        return [caption](const std::vector<StubScreen::Call>& calls) {
            for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
                if (it->name == "SetMainCaption") {
                    return it->text == caption;
                }
            }
            return false;
        };
    };
    ASSERT_TRUE(screen.WaitUntil(last_caption_is(online_caption), SyncRig::WAIT));

    online.Sim().EndSession(1101);
    ASSERT_TRUE(screen.WaitUntil(last_caption_is(offline_caption), SyncRig::WAIT));
    // Offline, yet the polls go on.
    const std::size_t polls = RequestsTo(online.Sim(), "synccheck").size();
    ASSERT_TRUE(online.Sim().WaitForRequests("synccheck", polls + 2, SyncRig::WAIT));
    EXPECT_FALSE(online.Robot().HeartbeatStop().load());

    online.Sim().ResumeSession();
    ASSERT_TRUE(screen.WaitUntil(last_caption_is(online_caption), SyncRig::WAIT));
    EXPECT_EQ(online.Robot().Connection().State(), protocol::STATE_ONLINE);
    EXPECT_TRUE(RequestsTo(online.Sim(), "webwxlogout").empty());
}

}  // namespace
}  // namespace zelmo::test
