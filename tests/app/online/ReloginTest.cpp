// The whole robot staying logged in against the simulator: sessions the service ends and
// the re-login that follows, sessions resumed by a new process, and what 自动重新登录=0
// leaves as it always was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/LoginGuard.h"
#include "app/SessionFile.h"
#include "app/Startup.h"
#include "mass/MassSender.h"
#include "messages/Sending.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/SavedSession.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

using namespace std::chrono_literals;
using platform::Gbk;
constexpr auto WAIT = 20s;

const std::string ONLINE = Gbk("Zelmo 5.3  在线");
const std::string RELOGGING = Gbk("Zelmo 5.3  重新登录中");

OnlineRobot::Options Account(std::function<void(OnlineRobot::Options&)> change = {}) {
    OnlineRobot::Options options;
    options.synccheck_hold_ms = 300;
    // As the service does: every contact has a new UserName after each login.
    options.rename_at_login = true;
    options.prepare = [](const std::string& account_dir) {
        platform::WriteFileAtomic(account_dir + "/config/reply.ini",
                                  Gbk("你好\r\n你好呀，我是[mkname]"));
    };
    if (change) {
        change(options);
    }
    return options;
}

// The last main-window caption is `caption`, shown after `before` (when given).
std::function<bool(const std::vector<StubScreen::Call>&)> LastCaptionAfter(
    const std::string& before, const std::string& caption) {
    return [before, caption](const std::vector<StubScreen::Call>& calls) {
        std::vector<std::string> captions;
        for (const StubScreen::Call& call : calls) {
            if (call.name == "SetMainCaption") {
                captions.push_back(call.text);
            }
        }
        const auto seen = std::find(captions.begin(), captions.end(), before);
        return seen != captions.end() && captions.back() == caption;
    };
}

// Delivers a text from alice and waits for the robot's count-th send: its text.
std::string AnswerTo(OnlineRobot& online, std::string_view text, std::size_t count) {
    online.Sim().DeliverMessage({sim::MessageKind::Text, "alice", "", "", std::string(text)});
    if (!online.Sim().WaitForSentMessages(count, WAIT)) {
        return "<no answer>";
    }
    return online.Sim().SentMessages()[count - 1].content;
}

// The code of the first end of the program.
int ExitCode(const StubScreen& screen) {
    for (const StubScreen::Call& call : screen.Calls()) {
        if (call.name == "EndProgram") {
            return call.number;
        }
    }
    return -1;
}

std::optional<protocol::SavedSession> Saved(const OnlineRobot& online) {
    return app::LoadSession(online.DataRoot());
}

std::vector<std::string> Paths(const sim::Simulator& simulator) {
    std::vector<std::string> paths;
    for (const sim::RecordedRequest& request : simulator.Requests()) {
        paths.push_back(request.path.substr(request.path.rfind('/') + 1));
    }
    return paths;
}

struct Loss {
    const char* name;
    std::function<void(OnlineRobot&)> end_session;
};

void PrintTo(const Loss& loss, std::ostream* out) {
    *out << loss.name;
}

class ReloginTest : public ::testing::TestWithParam<Loss> {};

// Whichever answer ends the session, the phone is asked (no scan), the session steps run
// again and the robot answers on, with what it learned and its windows as they were.
TEST_P(ReloginTest, ALostSessionIsReplacedByAPushLoginAndTheRobotAnswersOn) {
    OnlineRobot online(Account());
    ASSERT_EQ(online.Start(), "");
    StubScreen& screen = online.Screen();
    ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(ONLINE, ONLINE), WAIT));
    online.Robot().Knowledge().LearnPair(Gbk("晚安"), Gbk("好梦"));
    const sim::SessionInfo before = online.Sim().Session();
    ASSERT_EQ(Saved(online)->session.sid, before.sid);

    GetParam().end_session(online);
    ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));

    const sim::SessionInfo after = online.Sim().Session();
    EXPECT_NE(after.sid, before.sid);
    EXPECT_EQ(online.Robot().State()->session.sid, after.sid);
    EXPECT_EQ(online.Sim().Login().pushes, 1);
    EXPECT_EQ(online.Robot().Connection().State(), protocol::STATE_ONLINE);
    // No QR code, no second start-up: the windows and what they hold stay.
    EXPECT_EQ(screen.CountOf("ShowQrImage"), 1u);
    EXPECT_EQ(screen.CountOf("CreateHiddenWindows"), 1u);
    EXPECT_EQ(screen.CountOf("MainWindowReady"), 1u);
    // The mass-send window keeps the user's ticks; the main lists show the contacts again.
    EXPECT_EQ(screen.CountOf("FillMassCandidates"), 1u);
    EXPECT_EQ(screen.CountOf("RefreshContactLists"), 2u);
    EXPECT_EQ(online.Sim().CountRequests("webwxinit"), 2u);
    EXPECT_EQ(online.Sim().CountRequests("webwxgetcontact"), 2u);
    EXPECT_EQ(online.Sim().CountRequests("webwxstatusnotify"), 2u);
    EXPECT_EQ(Saved(online)->session.sid, after.sid);

    EXPECT_EQ(AnswerTo(online, "你好", online.Sim().SentMessages().size() + 1),
              "你好呀，我是Zelmo");
    EXPECT_EQ(AnswerTo(online, "晚安了", online.Sim().SentMessages().size() + 1), "好梦");
    EXPECT_TRUE(online.Robot().Knowledge().Dirty());
    EXPECT_EQ(online.Sim().Violations(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    EveryEnd, ReloginTest,
    ::testing::Values(
        Loss{"SyncCheck1100", [](OnlineRobot& online) { online.Sim().EndSession(1100); }},
        Loss{"SyncCheck1101", [](OnlineRobot& online) { online.Sim().EndSession(1101); }},
        Loss{"SyncCheck1102", [](OnlineRobot& online) { online.Sim().EndSession(1102); }},
        // The sync is held until the session has ended: its answer says Ret 1101.
        Loss{"WebSyncRet",
             [](OnlineRobot& online) {
                 sim::Simulator& simulator = online.Sim();
                 simulator.SetFault("webwxsync", {.kind = sim::FaultKind::Delay, .delay_ms = 1500});
                 const std::size_t syncs = simulator.CountRequests("webwxsync");
                 simulator.DeliverMessage({sim::MessageKind::Text, "bob", "", "", "嗨"});
                 if (simulator.WaitForRequests("webwxsync", syncs + 1, WAIT)) {
                     simulator.EndSession(1101);
                 }
             }},
        // A send the service answers with the session's end goes out again, once, on the
        // new session.
        Loss{"SendMsgRet",
             [](OnlineRobot& online) {
                 online.Sim().RefuseSends(1101, 1);
                 EXPECT_EQ(online.Robot().Sender().SendText(online.Sim().UserNameOf("bob"), "hi"),
                           "0");
                 const std::vector<sim::SentMessage> sent = online.Sim().SentMessages();
                 const std::vector<sim::SentMessage> refused = online.Sim().RefusedMessages();
                 ASSERT_EQ(sent.size(), 1u);
                 ASSERT_EQ(refused.size(), 1u);
                 EXPECT_EQ(sent[0].content, "hi");
                 EXPECT_EQ(sent[0].client_msg_id, refused[0].client_msg_id);
                 // To the same friend, under the name the new login gave her.
                 EXPECT_EQ(sent[0].to, online.Sim().UserNameOf("bob"));
                 EXPECT_NE(sent[0].to, refused[0].to);
             }}),
    [](const ::testing::TestParamInfo<Loss>& info) { return std::string(info.param.name); });

// The logout of a session the service ended still goes out on 1100, before the phone is
// asked; a sync answered with the end goes straight to the re-login without another poll.
TEST(ReloginOrderTest, LogoutFirstOn1100AndNoPollBetweenAnEndedSyncAndThePush) {
    {
        OnlineRobot online(Account());
        ASSERT_EQ(online.Start(), "");
        online.Sim().EndSession(1100);
        ASSERT_TRUE(online.Screen().WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
        const std::vector<std::string> paths = Paths(online.Sim());
        const auto logout = std::find(paths.begin(), paths.end(), "webwxlogout");
        const auto push = std::find(paths.begin(), paths.end(), "webwxpushloginurl");
        EXPECT_EQ(std::count(paths.begin(), paths.end(), "webwxlogout"), 1);
        EXPECT_LT(logout, push);
    }
    {
        OnlineRobot online(Account());
        ASSERT_EQ(online.Start(), "");
        online.Sim().SetFault("webwxsync", {.kind = sim::FaultKind::Delay, .delay_ms = 1500});
        const std::size_t syncs = online.Sim().CountRequests("webwxsync");
        online.Sim().DeliverMessage({sim::MessageKind::Text, "bob", "", "", "嗨"});
        ASSERT_TRUE(online.Sim().WaitForRequests("webwxsync", syncs + 1, WAIT));
        online.Sim().EndSession(1101);
        ASSERT_TRUE(online.Screen().WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
        const std::vector<std::string> paths = Paths(online.Sim());
        const auto push = std::find(paths.begin(), paths.end(), "webwxpushloginurl");
        ASSERT_NE(push, paths.end());
        // Workers may send meanwhile; the heartbeat polled no more after the ended sync.
        const auto sync = std::find(std::make_reverse_iterator(push), paths.rend(), "webwxsync");
        ASSERT_NE(sync, paths.rend());
        EXPECT_EQ(std::find(sync.base(), push, "synccheck"), push);
        // Without a logout: only 1100 sends one.
        EXPECT_EQ(std::count(paths.begin(), paths.end(), "webwxlogout"), 0);
    }
}

// What arrives while the robot logs in again comes with the new session's first sync and
// is answered once; what was answered before the end is not answered again.
TEST(ReloginGapTest, AMessageFromTheGapIsAnsweredOnceTheRobotIsBack) {
    OnlineRobot online(Account([](OnlineRobot::Options& options) { options.auto_login = false; }));
    ASSERT_EQ(online.Start(), "");
    sim::Simulator& simulator = online.Sim();
    ASSERT_EQ(AnswerTo(online, "你好", 1), "你好呀，我是Zelmo");

    const std::size_t polls = simulator.CountRequests("mmwebwx-bin/login");
    simulator.EndSession(1101);
    // The robot polls the phone's confirmation once the push is under way.
    ASSERT_TRUE(simulator.WaitForRequests("mmwebwx-bin/login", polls + 1, WAIT));
    simulator.DeliverMessage({sim::MessageKind::Text, "bob", "", "", "你好"});
    simulator.Confirm();
    ASSERT_TRUE(simulator.WaitForSentMessages(2, WAIT));
    EXPECT_EQ(simulator.SentMessages()[1].to, simulator.UserNameOf("bob"));

    // One more answer after it: had anything been answered twice, it would come first.
    EXPECT_EQ(AnswerTo(online, "你好", 3), "你好呀，我是Zelmo");
    EXPECT_EQ(simulator.SentMessages()[2].to, simulator.UserNameOf("alice"));
    EXPECT_EQ(simulator.Violations(), std::vector<std::string>{});
}

// A poll held open when a send meets the end of the session answers for the session as it
// was before: it must not put the robot back online, or the text goes out again on the
// dead session. It waits for the new one.
TEST(ReloginOrderTest, APollHeldAcrossTheEndASendMetDoesNotBringTheOldSessionBack) {
    OnlineRobot online(
        Account([](OnlineRobot::Options& options) { options.synccheck_hold_ms = 3000; }));
    ASSERT_EQ(online.Start(), "");
    sim::Simulator& simulator = online.Sim();
    const std::string old_sid = simulator.Session().sid;
    const std::string bob = simulator.UserNameOf("bob");
    const std::size_t polls = simulator.CountRequests("synccheck");
    ASSERT_TRUE(simulator.WaitForRequests("synccheck", polls + 1, WAIT));
    // The service still answers that poll "nothing new"; the send hears the end.
    simulator.RefuseSends(1101, 1);
    EXPECT_EQ(online.Robot().Sender().SendText(bob, "hi"), "0");

    const std::string new_sid = simulator.Session().sid;
    EXPECT_NE(new_sid, old_sid);
    std::vector<std::string> sends;
    for (const sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path.find("webwxsendmsg") != std::string::npos) {
            sends.push_back(request.query.find("sid=" + new_sid) != std::string::npos ? "new"
                                                                                      : "old");
        }
    }
    EXPECT_EQ(sends, (std::vector<std::string>{"old", "new"}));
    EXPECT_EQ(simulator.Login().pushes, 1);
}

// Texts queued before a re-login, a mass run's among them, reach the same contacts under the
// names the new login gave them; one whose contact is gone is dropped with a log row, never
// sent to a stale or a different name.
TEST(ReloginRenameTest, QueuedTextsAndAMassRunReachTheSameContactsUnderTheirNewNames) {
    OnlineRobot online(Account([](OnlineRobot::Options& options) { options.auto_login = false; }));
    ASSERT_EQ(online.Start(), "");
    sim::Simulator& simulator = online.Sim();
    app::Robot& robot = online.Robot();
    const std::string alice = simulator.UserNameOf("alice");
    const std::string bob = simulator.UserNameOf("bob");
    const std::string team = simulator.UserNameOf("team");

    const std::size_t polls = simulator.CountRequests("mmwebwx-bin/login");
    simulator.EndSession(1101);
    // The robot waits for the phone's confirmation: offline, every text waits.
    ASSERT_TRUE(simulator.WaitForRequests("mmwebwx-bin/login", polls + 1, WAIT));
    robot.Sender().Post(alice, "for alice", messages::SendKind::Reply);
    robot.Sender().Post(bob, "for bob", messages::SendKind::Text);
    robot.Mass().SetTexts({mass::AdText{Gbk("文本"), "mass text"}});
    robot.Mass().SetTicked(0, true);
    mass::StartStopMass(robot.MassParts(),
                        mass::MassRequest{{"0", "1", "0"},
                                          {mass::MassMember{alice, Gbk("Alice")},
                                           mass::MassMember{team, Gbk("Team")}}});
    simulator.DeleteContact("bob");
    simulator.Confirm();

    ASSERT_TRUE(simulator.WaitForSentMessages(3, WAIT));
    ASSERT_TRUE(online.Screen().WaitForCall("SetMassRunning", WAIT, 2));
    const std::vector<sim::SentMessage> sent = simulator.SentMessages();
    ASSERT_EQ(sent.size(), 3u);
    const std::string new_alice = simulator.UserNameOf("alice");
    const std::string new_team = simulator.UserNameOf("team");
    EXPECT_NE(new_alice, alice);
    EXPECT_NE(new_team, team);
    EXPECT_EQ(sent[0].content, "for alice");
    EXPECT_EQ(sent[0].to, new_alice);
    EXPECT_EQ(sent[1].content, "mass text");
    EXPECT_EQ(sent[1].to, new_alice);
    EXPECT_EQ(sent[2].content, "mass text");
    EXPECT_EQ(sent[2].to, new_team);
    for (const sim::SentMessage& message : sent) {
        EXPECT_EQ(message.ret, 0) << message.content;
    }
    const std::vector<std::string> rows = online.Screen().TextsOf("AddLogRow");
    EXPECT_EQ(
        std::count_if(rows.begin(), rows.end(),
                      [](const std::string& row) {
                          return row.starts_with(Gbk("[↑]未发送\t")) &&
                                 row.ends_with(Gbk("重新登录后找不到这个联系人，未发送：for bob"));
                      }),
        1);
    // The contacts and their keys: the same people, the new names.
    EXPECT_EQ(robot.Keys().KeyOf(new_alice), robot.Keys().KeyOf(alice));
    EXPECT_EQ(robot.Keys().UserNameOf(robot.Keys().KeyOf(alice)), new_alice);
    EXPECT_EQ(robot.Contacts().Snapshot().size(), simulator.Contacts().size());
    EXPECT_EQ(simulator.Violations(), std::vector<std::string>{});
}

// Sessions the service ends right after their login, twice in a row: the robot logs in by
// itself no more. It says why and what to do; the desktop waits for the user at the login
// window, zelmo-headless ends with 1, and a restart does not go around it.
TEST(LoginGuardTest, TwoSessionsEndedRightAfterTheLoginStopTheRobotsOwnLogins) {
    const auto stop_box = [](const StubScreen& screen) {
        for (const std::string& text : screen.TextsOf("ShowMessageBox")) {
            if (text.starts_with(Gbk("错误提示\n服务器在登录后随即结束了会话，已连续2次。"))) {
                return text;
            }
        }
        return std::string();
    };
    {
        OnlineRobot online(Account(
            [](OnlineRobot::Options& options) { options.end_session_after_login_ms = 300; }));
        ASSERT_EQ(online.Start(), "");
        StubScreen& screen = online.Screen();
        ASSERT_TRUE(screen.WaitForCaption(Gbk("已停止自动登录，点击这里获取二维码"), WAIT));
        const std::string box = stop_box(screen);
        EXPECT_NE(box.find(Gbk("反复登录可能导致帐号被限制")), std::string::npos) << box;
        EXPECT_NE(box.find(Gbk("确认这个帐号可以在电脑上登录微信")), std::string::npos);
        EXPECT_EQ(online.Sim().Login().pushes, 1);
        EXPECT_EQ(screen.CountOf("EndProgram"), 0u);
        EXPECT_EQ(screen.CountOf("ShowQrImage"), 2u);  // the first login's, then an empty one
        EXPECT_EQ(app::LoadLoginHistory(online.DataRoot()).quick_ends, 2);

        // The user asks for a code and logs in; a session that answers a message is never
        // counted, so the ordinary re-login afterwards is the robot's again.
        online.Sim().SetEndSessionAfterLogin(-1);
        app::RequestNewQrCode(online.Robot());
        ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
        EXPECT_EQ(AnswerTo(online, "你好", 1), "你好呀，我是Zelmo");
        online.Sim().EndSession(1101);
        ASSERT_TRUE(online.Sim().WaitForRequests("webwxpushloginurl", 2, WAIT));
        ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
        EXPECT_EQ(app::LoadLoginHistory(online.DataRoot()).quick_ends, 0);
    }
    {
        OnlineRobot online(Account([](OnlineRobot::Options& options) {
            options.unattended = true;
            options.end_session_after_login_ms = 300;
        }));
        ASSERT_EQ(online.Start(), "");
        ASSERT_TRUE(online.Screen().WaitForCall("EndProgram", WAIT));
        EXPECT_EQ(ExitCode(online.Screen()), app::EXIT_LOGIN_FAILED);
        EXPECT_FALSE(stop_box(online.Screen()).empty());
        EXPECT_EQ(online.Sim().Login().pushes, 1);

        // A supervisor restarts it: no hot start, no push, a QR code that waits for a scan.
        const std::size_t inits = online.Sim().CountRequests("webwxinit");
        online.Sim().SetEndSessionAfterLogin(-1);
        ASSERT_EQ(online.Restart(), "");
        EXPECT_FALSE(stop_box(online.Screen()).empty());
        EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 1u);
        EXPECT_EQ(online.Sim().Login().pushes, 1);
        EXPECT_EQ(online.Sim().CountRequests("webwxinit"), inits + 1);
    }
}

// 自动登录上限: logins the robot starts by itself count in session.ini; beyond the cap it
// waits for the user, and a restart counts on.
TEST(LoginGuardTest, LoginsTheRobotStartsByItselfAreCappedAcrossRestarts) {
    OnlineRobot online(Account([](OnlineRobot::Options& options) {
        options.prepare = [](const std::string& account_dir) {
            platform::WriteFileAtomic(account_dir + "/config/reply.ini",
                                      Gbk("你好\r\n你好呀，我是[mkname]"));
            platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                      Gbk("[机器人设置]\r\n自动登录上限=2\r\n"));
        };
    }));
    ASSERT_EQ(online.Start(), "");
    StubScreen& screen = online.Screen();
    for (int push = 1; push <= 2; ++push) {
        // Each session handled a message: no session ended right after its login.
        AnswerTo(online, "你好", online.Sim().SentMessages().size() + 1);
        online.Sim().EndSession(1101);
        ASSERT_TRUE(online.Sim().WaitForRequests("webwxpushloginurl", push, WAIT));
        ASSERT_TRUE(online.Sim().WaitForRequests("webwxinit", push + 1, WAIT));
        ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
    }
    AnswerTo(online, "你好", online.Sim().SentMessages().size() + 1);
    online.Sim().EndSession(1101);
    ASSERT_TRUE(screen.WaitForCaption(Gbk("已停止自动登录，点击这里获取二维码"), WAIT));
    const std::vector<std::string> boxes = screen.TextsOf("ShowMessageBox");
    ASSERT_FALSE(boxes.empty());
    EXPECT_TRUE(boxes.back().starts_with(
        Gbk("错误提示\n机器人在24小时内已自动登录2次，达到上限（机器人设置 自动登录上限）。")))
        << boxes.back();
    EXPECT_EQ(online.Sim().Login().pushes, 2);
    EXPECT_EQ(app::LoadLoginHistory(online.DataRoot()).auto_logins_ms.size(), 2u);

    // A new process: the saved session is not tried, the user scans.
    const std::size_t inits = online.Sim().CountRequests("webwxinit");
    ASSERT_EQ(online.Restart(), "");
    EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 1u);
    EXPECT_EQ(online.Sim().Login().pushes, 2);
    EXPECT_EQ(online.Sim().CountRequests("webwxinit"), inits + 1);
}

// No push for these cookies: the QR code comes back, and its login resumes the same robot.
TEST(ReloginFallbackTest, WithoutAPushTheLoginWindowComesBackWithAQrCode) {
    OnlineRobot online(Account());
    ASSERT_EQ(online.Start(), "");
    StubScreen& screen = online.Screen();
    online.Sim().SetPushLoginFails(true);
    online.Sim().EndSession(1101);
    ASSERT_TRUE(screen.WaitUntil(LastCaptionAfter(RELOGGING, ONLINE), WAIT));
    EXPECT_EQ(online.Sim().Login().push_refusals, 1);
    EXPECT_EQ(screen.CountOf("ShowQrImage"), 2u);
    EXPECT_GE(screen.CountOf("ShowLoginWindow"), 1u);
    EXPECT_EQ(screen.CountOf("MainWindowReady"), 1u);
    EXPECT_EQ(online.Robot().State()->session.sid, online.Sim().Session().sid);
    EXPECT_EQ(AnswerTo(online, "你好", 1), "你好呀，我是Zelmo");
}

// zelmo-headless has nobody to scan: it ends with a non-zero code so that a supervisor
// restarts it, after bounded attempts (the service silent) or unscanned codes.
TEST(ReloginFallbackTest, UnattendedReloginGivesUpWithANonZeroExit) {
    {
        OnlineRobot online(
            Account([](OnlineRobot::Options& options) { options.unattended = true; }));
        ASSERT_EQ(online.Start(), "");
        online.Sim().SetFault("webwxpushloginurl", {.kind = sim::FaultKind::Reset, .sticky = true});
        online.Sim().EndSession(1101);
        ASSERT_TRUE(online.Screen().WaitForCall("EndProgram", 60s));
        EXPECT_EQ(ExitCode(online.Screen()), app::EXIT_LOGIN_FAILED);
        EXPECT_GE(online.Sim().CountRequests("webwxpushloginurl"), 8u);
        // The pauses between attempts grow: 5 s, 10 s, ... (scaled here). Fetches that met
        // the ended session back off too, from 1 s up to 60 s: not among them.
        const auto relogin_pause = [](int ms) {
            return ms == 300000 ||
                   (ms >= 5000 && ms % 5000 == 0 && std::has_single_bit(unsigned(ms / 5000)));
        };
        std::vector<int> pauses;
        for (const StubScreen::Call& call : online.Screen().Calls()) {
            if (call.name == "Delay" && relogin_pause(call.number)) {
                pauses.push_back(call.number);
            }
        }
        EXPECT_EQ(pauses, (std::vector<int>{5000, 10000, 20000, 40000, 80000, 160000, 300000}));
    }
    {
        OnlineRobot online(Account([](OnlineRobot::Options& options) {
            options.unattended = true;
            options.auto_login = false;
        }));
        ASSERT_EQ(online.Start(), "");
        online.Sim().SetPushLoginFails(true);
        online.Sim().EndSession(1101);
        StubScreen& screen = online.Screen();
        // Each code expires unscanned as soon as it is shown.
        for (std::size_t code = 2; code <= 4; ++code) {
            ASSERT_TRUE(screen.WaitForCall("ShowQrImage", WAIT, code));
            EXPECT_EQ(screen.CountOf("EndProgram"), 0u);
            online.Sim().ExpireCode();
        }
        ASSERT_TRUE(screen.WaitForCall("EndProgram", WAIT));
        EXPECT_EQ(ExitCode(screen), app::EXIT_LOGIN_FAILED);
    }
}

// kill -9 and a new process within the session's life: no QR code, no new login at all.
TEST(HotStartTest, ARestartedRobotResumesTheSavedSessionWithoutAScan) {
    OnlineRobot online(Account());
    ASSERT_EQ(online.Start(), "");
    const sim::SessionInfo session = online.Sim().Session();
    const std::string saved_path = app::SessionFilePath(online.DataRoot());
    struct stat status {};
    ASSERT_EQ(::stat(saved_path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // The tokens are never shown anywhere.
    for (const StubScreen::Call& call : online.Screen().Calls()) {
        EXPECT_EQ(call.text.find(session.sid), std::string::npos) << call.name;
        EXPECT_EQ(call.text.find(session.skey.substr(1)), std::string::npos) << call.name;
    }
    const std::size_t jslogins = online.Sim().CountRequests("jslogin");

    ASSERT_EQ(online.Restart(), "");
    EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 0u);
    EXPECT_EQ(online.Sim().CountRequests("jslogin"), jslogins);
    EXPECT_EQ(online.Sim().Login().pushes, 0);
    EXPECT_EQ(online.Sim().Session().sid, session.sid);
    EXPECT_EQ(online.Robot().State()->session.sid, session.sid);
    EXPECT_EQ(online.Sim().CountRequests("webwxinit"), 2u);
    EXPECT_EQ(AnswerTo(online, "你好", 1), "你好呀，我是Zelmo");
    EXPECT_EQ(online.Sim().Violations(), std::vector<std::string>{});
}

// A deliberate close logs out and marks the saved session: the next start asks the phone
// at once instead of trying the dead tokens, and shows no QR code either.
TEST(HotStartTest, AfterADeliberateCloseTheNextStartAsksThePhone) {
    OnlineRobot online(Account());
    ASSERT_EQ(online.Start(), "");
    const std::string old_sid = online.Sim().Session().sid;
    online.Screen().ScriptAnswers({true});
    ASSERT_TRUE(app::ConfirmClose(online.Robot()));
    EXPECT_EQ(online.Sim().CountRequests("webwxlogout"), 1u);
    ASSERT_TRUE(Saved(online));
    EXPECT_TRUE(Saved(online)->logged_out);

    ASSERT_EQ(online.Restart(), "");
    EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 0u);
    EXPECT_EQ(online.Sim().Login().pushes, 1);
    // One webwxinit per login: none was tried with the logged-out tokens.
    EXPECT_EQ(online.Sim().CountRequests("webwxinit"), 2u);
    EXPECT_NE(online.Sim().Session().sid, old_sid);
    EXPECT_EQ(Saved(online)->session.sid, online.Sim().Session().sid);
    EXPECT_FALSE(Saved(online)->logged_out);
    EXPECT_EQ(AnswerTo(online, "你好", 1), "你好呀，我是Zelmo");
}

// 自动重新登录=0: every start needs a scan, no tokens stay on disk, and a lost session stays
// lost (as the heartbeat tests pin).
TEST(HotStartTest, WithAutoReloginOffNoSessionIsKeptAndEveryStartScans) {
    OnlineRobot online(Account([](OnlineRobot::Options& options) {
        options.prepare = [](const std::string& account_dir) {
            platform::WriteFileAtomic(account_dir + "/config/mzset.ini",
                                      Gbk("[机器人设置]\r\n自动重新登录=0\r\n"));
        };
    }));
    // A session file left by a run before the setting was switched off.
    platform::MakeDirectories(online.DataRoot());
    protocol::SavedSession stale;
    stale.session.uin = OnlineRobot::DEFAULT_UIN;
    stale.session.sid = "old";
    stale.session.skey = "old";
    platform::WriteFileAtomic(app::SessionFilePath(online.DataRoot()),
                              protocol::FormatSavedSession(stale));
    ASSERT_EQ(online.Start(), "");
    EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 1u);
    EXPECT_FALSE(platform::FileExists(app::SessionFilePath(online.DataRoot())));

    ASSERT_EQ(online.Restart(), "");
    EXPECT_EQ(online.Screen().CountOf("ShowQrImage"), 1u);
    EXPECT_EQ(online.Sim().CountRequests("jslogin"), 2u);
    EXPECT_EQ(online.Sim().Login().pushes, 0);
}

}  // namespace
}  // namespace zelmo::test
