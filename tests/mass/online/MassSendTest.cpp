#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "jobs/Job.h"
#include "jobs/JobQueue.h"
#include "mass/MassSender.h"
#include "messages/MessageJobs.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/ManualResetEvent.h"
#include "sim/Simulator.h"
#include "support/FakeClock.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using mass::AdText;
using mass::MassMember;
using mass::MassRequest;
using platform::Gbk;

constexpr auto WAIT = std::chrono::seconds(30);
// Pauses no other part of the robot asks for, so the test can tell them apart.
constexpr int MESSAGE_PAUSE = 3001;
constexpr int PASS_PAUSE = 7003;
constexpr int SEND_PAUSE = 500;

// A logged-in robot whose screen delays pass on a fake clock at once.
class MassRig {
public:
    explicit MassRig(OnlineRobot::Options options = {}) : m_online(std::move(options)) {}

    std::string Start() {
        std::string failure = m_online.Start();
        if (!failure.empty()) {
            return failure;
        }
        m_online.Screen().SetDelayHandler([this](int ms) { Delayed(ms); });
        return {};
    }

    app::Robot& Robot() { return m_online.Robot(); }
    StubScreen& Screen() { return m_online.Screen(); }
    sim::Simulator& Sim() { return m_online.Sim(); }
    FakeClock& Clock() { return m_clock; }

    // Runs in the delaying thread instead of the wait; the fake clock moves by the pause.
    std::function<void(int)> on_delay;

    MassMember Member(const char* id) {
        return MassMember{Sim().UserNameOf(id), Gbk(id == std::string("alice") ? "Alice" : "Bob")};
    }

    void TickTexts(const std::vector<std::string>& texts) {
        std::vector<AdText> rows;
        for (const std::string& text : texts) {
            rows.push_back(AdText{Gbk("文本"), text});
        }
        Robot().Mass().SetTexts(rows);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            Robot().Mass().SetTicked(i, true);
        }
    }

    // True once the screen was told `count` times that a run ended.
    bool WaitForRunEnds(std::size_t count = 1) {
        return Screen().WaitUntil(
            [count](const std::vector<StubScreen::Call>& calls) {
                return static_cast<std::size_t>(
                           std::count_if(calls.begin(), calls.end(), [](const auto& call) {
                               return call.name == "SetMassRunning" && call.number == 0;
                           })) >= count;
            },
            WAIT);
    }

    std::vector<std::string> Log() { return Screen().TextsOf("AppendMassLog"); }

private:
    void Delayed(int ms) {
        if (on_delay) {
            on_delay(ms);
        }
        m_clock.Advance(ms);
    }

    // Before the robot: its threads may still pause (and so read the clock) until it is gone.
    FakeClock m_clock;
    OnlineRobot m_online;
};

std::string StartLine() {
    return Gbk("启动群发程序，开始群发！");
}
std::string EndLine() {
    return Gbk("\r\n关闭群发程序，结束群发！\r\n\r\n");
}
std::string StatusLine(const char* word, const char* nickname) {
    return "\r\n" + Gbk(word) + Gbk(" 发送于 ") + nickname;
}

TEST(MassSendTest, TwoMembersThreeTextsTwoPassesSendTwelveInPassMemberTextOrder) {
    MassRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"t1", "t2", "t3"});
    const std::vector<MassMember> members = {rig.Member("alice"), rig.Member("bob")};
    mass::StartStopMass(
        rig.Robot().MassParts(),
        MassRequest{{std::to_string(MESSAGE_PAUSE), "2", std::to_string(PASS_PAUSE)}, members});
    ASSERT_TRUE(rig.WaitForRunEnds());

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 12U);
    std::size_t i = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const MassMember& member : members) {
            for (const char* text : {"t1", "t2", "t3"}) {
                EXPECT_EQ(sent[i].to, member.UserName) << i;
                EXPECT_EQ(sent[i].content, text) << i;
                ++i;
            }
        }
    }

    std::vector<std::string> expected_log = {StartLine(), Gbk("\r\n已选中2个微信成员"),
                                             Gbk("\r\n已选中3条广告词"), Gbk("\r\n已设置群发2遍")};
    for (int pass = 0; pass < 2; ++pass) {
        for (const char* nickname : {"Alice", "Bob"}) {
            for (int text = 0; text < 3; ++text) {
                expected_log.push_back(StatusLine("成功", nickname));
            }
        }
    }
    expected_log.push_back(EndLine());
    EXPECT_EQ(rig.Log(), expected_log);

    // Each send: the send pause inside SendText, its log line, the message pause; each
    // pass ends with the pass pause, the last one too.
    std::vector<std::string> steps;
    for (const StubScreen::Call& call : rig.Screen().Calls()) {
        if (call.name == "Delay" && (call.number == SEND_PAUSE || call.number == MESSAGE_PAUSE ||
                                     call.number == PASS_PAUSE)) {
            steps.push_back(std::to_string(call.number));
        } else if (call.name == "AppendMassLog" && call.text.substr(0, 2) == "\r\n" &&
                   call.text.find(Gbk(" 发送于 ")) != std::string::npos) {
            steps.emplace_back("log");
        }
    }
    std::vector<std::string> expected_steps;
    for (int pass = 0; pass < 2; ++pass) {
        for (int send = 0; send < 6; ++send) {
            expected_steps.insert(expected_steps.end(), {"500", "log", "3001"});
        }
        expected_steps.emplace_back("7003");
    }
    EXPECT_EQ(steps, expected_steps);
    EXPECT_GE(rig.Clock().TickMs(), 12 * (SEND_PAUSE + MESSAGE_PAUSE) + 2 * PASS_PAUSE);

    EXPECT_FALSE(rig.Robot().Mass().Running());
    EXPECT_EQ(rig.Screen().TextsOf("SetMassCaption"),
              (std::vector<std::string>{Gbk("停止群发"), Gbk("开始群发")}));

    // Every text handed to sending is a row of the own account's in the message log (the
    // queue's workers add them, in any order).
    ASSERT_TRUE(rig.Screen().WaitForCall("AddLogRow", WAIT, 12));
    std::vector<std::string> rows;
    for (const std::string& row : rig.Screen().TextsOf("AddLogRow")) {
        rows.push_back(row.substr(0, row.find('\t')) + row.substr(row.rfind('\t')));
    }
    ASSERT_EQ(rows.size(), 12u);
    for (const char* text : {"t1", "t2", "t3"}) {
        EXPECT_EQ(std::count(rows.begin(), rows.end(), Gbk("[↑]好友") + "\t" + text), 4) << text;
    }
}

TEST(MassSendTest, ZeroPassesLogsTheStartLinesAndEndsAtOnce) {
    MassRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"never"});
    mass::StartStopMass(rig.Robot().MassParts(),
                        MassRequest{{"10", "0", "10"}, {rig.Member("alice")}});
    ASSERT_TRUE(rig.WaitForRunEnds());
    EXPECT_EQ(rig.Log(), (std::vector<std::string>{StartLine(), Gbk("\r\n已选中1个微信成员"),
                                                   Gbk("\r\n已选中1条广告词"),
                                                   Gbk("\r\n已设置群发0遍"), EndLine()}));
    EXPECT_TRUE(rig.Sim().SentMessages().empty());
    EXPECT_FALSE(rig.Robot().Mass().Running());
    std::vector<int> running;
    for (const StubScreen::Call& call : rig.Screen().Calls()) {
        if (call.name == "SetMassRunning") {
            running.push_back(call.number);
        }
    }
    EXPECT_EQ(running, (std::vector<int>{1, 0}));
}

TEST(MassSendTest, AStopInAPauseEndsTheRunBeforeTheNextSendAndAStartMeanwhileIsRefused) {
    MassRig rig;
    platform::ManualResetEvent paused;
    platform::ManualResetEvent resume;
    rig.on_delay = [&](int ms) {
        if (ms == MESSAGE_PAUSE && !paused.IsSet()) {
            paused.Set();
            resume.WaitFor(WAIT);
        }
    };
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"a", "b", "c"});
    const MassRequest request{{std::to_string(MESSAGE_PAUSE), "3", "0"}, {rig.Member("alice")}};
    mass::StartStopMass(rig.Robot().MassParts(), request);
    ASSERT_TRUE(paused.WaitFor(WAIT));

    mass::StartStopMass(rig.Robot().MassParts(), request);  // the stop click
    EXPECT_TRUE(rig.Robot().Mass().StopRequested());
    mass::StartStopMass(rig.Robot().MassParts(),
                        request);  // a start while the worker has not noticed
    EXPECT_EQ(rig.Screen().TextsOf("ShowMessageBox"),
              (std::vector<std::string>{Gbk("错误提示") + "\n" + Gbk("请操作不要太快！")}));
    resume.Set();
    ASSERT_TRUE(rig.WaitForRunEnds());

    EXPECT_EQ(rig.Sim().SentMessages().size(), 1U);
    const std::vector<std::string> log = rig.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), EndLine());
    EXPECT_EQ(std::count(log.begin(), log.end(), StatusLine("成功", "Alice")), 1);
    EXPECT_FALSE(rig.Robot().Mass().Running());
    EXPECT_EQ(rig.Screen().TextsOf("SetMassCaption"),
              (std::vector<std::string>{Gbk("停止群发"), Gbk("开始群发"), Gbk("开始群发")}));

    // Idle again: the next start is accepted.
    mass::StartStopMass(rig.Robot().MassParts(), MassRequest{{"0", "1", "0"}, {rig.Member("bob")}});
    ASSERT_TRUE(rig.WaitForRunEnds(2));
    EXPECT_EQ(rig.Sim().SentMessages().size(), 4U);
}

TEST(MassSendTest, ATextTypedOnThreeLinesIsStoredWithTwoEntersAndArrivesOnThreeLines) {
    MassRig rig;
    ASSERT_EQ(rig.Start(), "");
    ASSERT_TRUE(
        mass::AddMassText(rig.Robot().Mass(), rig.Robot().Screen(), "line1\r\nline2\r\nline3", -1));
    rig.Robot().Mass().SetTicked(0, true);
    mass::StartStopMass(rig.Robot().MassParts(), MassRequest{{"0", "1", "0"}, {rig.Member("bob")}});
    ASSERT_TRUE(rig.WaitForRunEnds());

    EXPECT_EQ(
        platform::ReadFile(config::ConfigPath(rig.Robot().AccountDir(), config::MASS_TEXTS_FILE)),
        Gbk("文本") + "\r\nline1[enter]line2[enter]line3");
    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].content, "line1\r\nline2\r\nline3");
}

TEST(MassSendTest, ASendTheServiceFindsTooFastIsLoggedAsTooFrequent) {
    OnlineRobot::Options options;
    options.send_min_interval_ms = 600000;
    MassRig rig(options);
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"first", "second"});
    mass::StartStopMass(rig.Robot().MassParts(),
                        MassRequest{{"0", "1", "0"}, {rig.Member("alice")}});
    ASSERT_TRUE(rig.WaitForRunEnds());
    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[1].ret, 1025);
    const std::vector<std::string> log = rig.Log();
    ASSERT_EQ(log.size(), 7U);
    EXPECT_EQ(log[4], StatusLine("成功", "Alice"));
    EXPECT_EQ(log[5], StatusLine("频繁", "Alice"));
}

TEST(MassSendTest, ASendRefusedAsTooFrequentIsSentAgainOnceAndTheRunLogsItsPauses) {
    MassRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"once"});
    rig.Sim().RefuseSends(1205, 2);
    mass::StartStopMass(rig.Robot().MassParts(),
                        MassRequest{{"0", "1", "0"}, {rig.Member("alice"), rig.Member("bob")}});
    ASSERT_TRUE(rig.WaitForRunEnds());

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[0].to, rig.Member("alice").UserName);
    EXPECT_EQ(sent[1].to, rig.Member("bob").UserName);
    const std::vector<sim::SentMessage> refused = rig.Sim().RefusedMessages();
    ASSERT_EQ(refused.size(), 2U);
    for (const sim::SentMessage& attempt : refused) {
        EXPECT_EQ(attempt.to, sent[0].to);
        EXPECT_EQ(attempt.client_msg_id, sent[0].client_msg_id);
    }
    EXPECT_NE(sent[1].client_msg_id, sent[0].client_msg_id);
    EXPECT_EQ(rig.Log(), (std::vector<std::string>{
                             StartLine(), Gbk("\r\n已选中2个微信成员"), Gbk("\r\n已选中1条广告词"),
                             Gbk("\r\n已设置群发1遍"), Gbk("\r\n发送过于频繁，群发暂停2秒"),
                             Gbk("\r\n发送过于频繁，群发暂停4秒"), StatusLine("成功", "Alice"),
                             StatusLine("成功", "Bob"), EndLine()}));
    // The waits passed on the fake clock: the pace after each try, then the back-off.
    std::vector<int> waits;
    for (const StubScreen::Call& call : rig.Screen().Calls()) {
        if (call.name == "Delay" && (call.number == 2000 || call.number == 4000)) {
            waits.push_back(call.number);
        }
    }
    EXPECT_EQ(waits, (std::vector<int>{2000, 4000}));
    EXPECT_EQ(mass::MassStatusWord("1205"), Gbk("频繁"));
}

TEST(MassSendTest, AReplyReadyDuringARunWaitsForAtMostTheSendInHand) {
    MassRig rig;
    ASSERT_EQ(rig.Start(), "");
    rig.TickTexts({"mass"});
    // No pauses of its own: the run goes straight from one send to the next.
    mass::StartStopMass(rig.Robot().MassParts(),
                        MassRequest{{"0", "60", "0"}, {rig.Member("alice")}});
    ASSERT_TRUE(rig.Screen().WaitForCall("AppendMassLog", WAIT, 4 + 3));
    const std::size_t sent_before = rig.Sim().SentMessages().size();
    jobs::PostJob(rig.Robot().Queue(), messages::JOB_SEND_TEXT, rig.Member("bob").UserName,
                  "reply");
    ASSERT_TRUE(rig.WaitForRunEnds());

    const std::vector<sim::SentMessage> sent = rig.Sim().SentMessages();
    const auto reply = std::find_if(sent.begin(), sent.end(),
                                    [](const sim::SentMessage& m) { return m.content == "reply"; });
    ASSERT_NE(reply, sent.end());
    // Before it: the sends done when it was posted, the one then in flight, and at most one
    // that had already queued for the lock.
    EXPECT_LE(static_cast<std::size_t>(reply - sent.begin()), sent_before + 2);
    EXPECT_EQ(sent.size(), 61U);
}

TEST(MassSendTest, StartUpShowsThePacingThenLoadsTheTexts) {
    OnlineRobot::Options options;
    options.prepare = [](const std::string& account_dir) {
        platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                  Gbk("[群发设置]\r\n消息延时=900\r\n重复几遍=3\r\n"));
        platform::WriteFileAtomic(account_dir + "/config/mass.ini",
                                  Gbk("文本\r\n你好[enter]朋友\r\nsecond"));
    };
    OnlineRobot online(options);
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    EXPECT_EQ(robot.Settings().GetMass()->消息延时, "900");
    EXPECT_EQ(robot.Mass().Rows(),
              (std::vector<mass::TextRow>{{{Gbk("文本"), Gbk("你好[enter]朋友")}, false},
                                          {{Gbk("文本"), "second"}, false}}));
    std::vector<std::string> order;
    for (const StubScreen::Call& call : online.Screen().Calls()) {
        if (call.name == "ShowMassSettings" || call.name == "ShowMassTexts" ||
            (call.name == "ShowStatus" && call.text.substr(0, 5) == "[3/5]")) {
            order.push_back(call.name);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ShowMassSettings", "ShowMassTexts", "ShowStatus"}));
}

}  // namespace
}  // namespace zelmo::test
