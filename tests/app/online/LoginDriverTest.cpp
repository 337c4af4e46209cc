#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "protocol/LoginFlow.h"
#include "sim/Simulator.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::app {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<test::StubScreen::Call>;

constexpr auto LOGIN_TIMEOUT = 20s;
// Real pauses shrunk fivefold: the robot's threads and the simulator keep their pace.
constexpr double DELAY_SCALE = 0.2;

// A robot logging in to the simulator, with the screen stubbed; StartLogin runs on the
// test's thread as it would on the UI thread.
struct RigRun {
    bool web_mode = false;  // the profile says login_mode=web
    bool unattended = false;
};

class SimRig {
public:
    explicit SimRig(sim::SimulatorOptions options, double delay_scale = DELAY_SCALE,
                    RigRun how = {})
        : m_screen(delay_scale) {
        options.workdir = m_dir.Path() + "/sim";
        options.login_poll_hold_ms = 3000;
        m_sim = std::make_unique<sim::Simulator>(std::move(options));
        m_started = m_sim->Start();
        RunOptions run;
        run.data_root = m_dir.Path() + "/data";
        run.service_file = m_started ? m_sim->ProfilePath() : "";
        run.unattended = how.unattended;
        if (how.web_mode && m_started) {
            run.service_file = m_dir.Path() + "/web.ini";
            platform::WriteFileAtomic(
                run.service_file, platform::ReadFile(m_sim->ProfilePath()) + "login_mode=web\n");
        }
        m_robot = std::make_unique<Robot>(run, m_clock, m_screen);
    }
    ~SimRig() {
        m_screen.Cancel();
        m_robot->Shutdown();
        m_sim->Stop();
    }

    bool Started() const { return m_started; }
    std::string DataRoot() const { return m_dir.Path() + "/data"; }
    sim::Simulator& Sim() { return *m_sim; }
    Robot& Bot() { return *m_robot; }
    test::StubScreen& Screen() { return m_screen; }

    std::size_t RequestCount(std::string_view path_part) const {
        const auto requests = m_sim->Requests();
        return static_cast<std::size_t>(
            std::count_if(requests.begin(), requests.end(), [path_part](const auto& request) {
                return request.path.find(path_part) != std::string::npos;
            }));
    }

private:
    test::TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    bool m_started = false;
    platform::SystemClock m_clock;
    test::StubScreen m_screen;
    std::unique_ptr<Robot> m_robot;
};

sim::SimulatorOptions AutoLogin() {
    sim::SimulatorOptions options;
    options.auto_scan_ms = 100;
    options.auto_confirm_ms = 100;
    return options;
}

// Positions of the calls named `name`, in order.
std::vector<std::size_t> IndexesOf(const Calls& calls, std::string_view name) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == name) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<std::string> Gbks(std::initializer_list<std::string_view> texts) {
    std::vector<std::string> result;
    for (const std::string_view text : texts) {
        result.push_back(platform::Gbk(text));
    }
    return result;
}

class WholeLoginTest : public ::testing::TestWithParam<sim::Era> {};

// The service refuses web-mode logins, as it does for most accounts: the default desktop
// mode gets in.
TEST_P(WholeLoginTest, ReachesTheMainWindowWithTheSessionFilled) {
    sim::SimulatorOptions options;
    options.era = GetParam();
    options.refuse_web_login = true;
    SimRig rig(options);
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    // Scan and confirm by hand, so each poll answer is seen whatever the machine's pace.
    ASSERT_TRUE(rig.Sim().WaitForRequest("/cgi-bin/mmwebwx-bin/login", LOGIN_TIMEOUT));
    rig.Sim().Scan();
    ASSERT_TRUE(rig.Screen().WaitForCaption(platform::Gbk("扫码成功,等待手机确认"), LOGIN_TIMEOUT));
    rig.Sim().Confirm();
    ASSERT_TRUE(rig.Screen().WaitForCall("CloseLoginWindow", LOGIN_TIMEOUT));

    test::StubScreen& screen = rig.Screen();
    const Calls calls = screen.Calls();
    // The main window's start-up follows on the same thread: look up to the hand-over.
    const auto opened = IndexesOf(calls, "OpenMainWindow");
    ASSERT_EQ(opened.size(), 1u);
    const std::size_t at = opened[0];
    std::vector<std::string> statuses;
    for (std::size_t i = 0; i < at; ++i) {
        if (calls[i].name == "ShowStatus") {
            statuses.push_back(calls[i].text);
        }
    }
    EXPECT_EQ(statuses,
              Gbks({"登录中..", "载入中....", "连接中.......", "微信机器人 - Tech edition",
                    "载入二维码...", "登录中,请稍候..", "载入中..."}));
    EXPECT_EQ(screen.TextsOf("SetLoginCaption"),
              Gbks({"请用手机微信扫一扫二维码", "等待手机微信扫码", "扫码成功,等待手机确认",
                    "手机已确认登入微信"}));
    const std::vector<std::string> images = screen.TextsOf("ShowQrImage");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].starts_with("\x89PNG"));
    EXPECT_EQ(screen.CountOf("ShowMessageBox"), 0u);

    ASSERT_GE(at, 2u);
    ASSERT_LT(at + 1, calls.size());
    EXPECT_EQ(calls[at - 2].name, "ShowStatus");
    EXPECT_EQ(calls[at - 1].name, "HideLoginWindow");
    EXPECT_EQ(calls[at + 1].name, "CloseLoginWindow");

    const std::shared_ptr<const protocol::ProtocolState> published = rig.Bot().State();
    const protocol::ProtocolState& state = *published;
    const sim::SessionInfo expected = rig.Sim().Session();
    EXPECT_TRUE(expected.logged_in);
    EXPECT_EQ(state.session.uin, expected.uin);
    EXPECT_EQ(state.session.sid, expected.sid);
    EXPECT_EQ("@" + state.session.skey, expected.skey);
    EXPECT_EQ(state.session.pass_ticket, expected.pass_ticket);
    EXPECT_EQ(state.session.fun, "2");
    EXPECT_EQ(state.session.deviceid, "e402715839261573");
    EXPECT_EQ(state.own.UserName, expected.user_name);
    EXPECT_EQ(state.own.Uin, expected.uin);
    EXPECT_FALSE(state.sync_key.json.empty());
    EXPECT_EQ(rig.RequestCount("webwxstatreport"), 3u);
    EXPECT_EQ(rig.RequestCount("webwxinit"), 1u);
    EXPECT_TRUE(rig.Sim().Login().desktop);
    EXPECT_EQ(rig.Sim().Login().web_refusals, 0);
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

INSTANTIATE_TEST_SUITE_P(BothAnswerEras, WholeLoginTest,
                         ::testing::Values(sim::Era::Early2016, sim::Era::Late2018));

TEST(LoginDriverTest, LocationRedirectToThePrimaryHostGivesAnEmptyFun) {
    sim::SimulatorOptions options = AutoLogin();
    options.redirect_via_location_href = true;
    options.scenario_json = R"({"fun": ""})";
    SimRig rig(options);
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    EXPECT_EQ(rig.Bot().State()->session.fun, "");
    EXPECT_EQ(rig.RequestCount("webwxnewloginpage"), 2u);
    for (const sim::RecordedRequest& request : rig.Sim().Requests()) {
        if (request.path.find("webwxinit") != std::string::npos) {
            EXPECT_EQ(request.host, "wx.qq.com");
        }
    }
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

TEST(LoginDriverTest, ExpiredCodeStartsACycleThatShowsOnlyTheNewImage) {
    SimRig rig(sim::SimulatorOptions{});
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Sim().WaitForRequest("/cgi-bin/mmwebwx-bin/login", LOGIN_TIMEOUT));
    const std::string first_uuid = rig.Sim().CurrentUuid();
    rig.Sim().ExpireCode();
    ASSERT_TRUE(rig.Screen().WaitForCall("ShowLoginWindow", LOGIN_TIMEOUT));
    const std::string second_uuid = rig.Sim().CurrentUuid();
    EXPECT_NE(first_uuid, second_uuid);
    EXPECT_EQ(rig.Bot().Login().draft.session.uuid, second_uuid);

    const Calls calls = rig.Screen().Calls();
    const auto images = IndexesOf(calls, "ShowQrImage");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_NE(calls[images[0]].text, calls[images[1]].text);
    const auto hidden = IndexesOf(calls, "HideLoginWindow");
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_LT(hidden[0], images[1]);
    EXPECT_EQ(rig.Screen().TextsOf("SetLoginCaption")[2], platform::Gbk("二维码失效,重新获取"));

    // The new cycle polls with the new id and logs in.
    rig.Sim().Scan();
    rig.Sim().Confirm();
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    EXPECT_EQ(rig.RequestCount("jslogin"), 2u);
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

TEST(LoginDriverTest, FailedCompletionRestartsSilently) {
    SimRig rig(AutoLogin());
    ASSERT_TRUE(rig.Started());
    rig.Sim().SetFault("webwxnewloginpage", sim::Fault{sim::FaultKind::Http500});
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));

    const Calls calls = rig.Screen().Calls();
    EXPECT_EQ(IndexesOf(calls, "ShowMessageBox").size(), 0u);
    EXPECT_EQ(IndexesOf(calls, "ShowQrImage").size(), 2u);
    EXPECT_EQ(rig.RequestCount("jslogin"), 2u);
    // After the failed attempt: the popup closes, a new cycle runs, the window comes back.
    const auto shown = IndexesOf(calls, "ShowLoginWindow");
    ASSERT_EQ(shown.size(), 1u);
    const auto closes = IndexesOf(calls, "CloseStatus");
    EXPECT_TRUE(std::any_of(closes.begin(), closes.end(), [&](std::size_t at) {
        return at < shown[0] && calls[at - 1].name == "ShowStatus" &&
               calls[at - 1].text == platform::Gbk("登录中,请稍候..");
    }));
}

TEST(LoginDriverTest, InitSessionIsRetriedAfterAPause) {
    SimRig rig(AutoLogin());
    ASSERT_TRUE(rig.Started());
    rig.Sim().SetFault("webwxinit", sim::Fault{sim::FaultKind::Http500});
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    EXPECT_EQ(rig.RequestCount("webwxinit"), 2u);
    const Calls calls = rig.Screen().Calls();
    const auto delays = IndexesOf(calls, "Delay");
    EXPECT_TRUE(std::any_of(delays.begin(), delays.end(),
                            [&](std::size_t at) { return calls[at].number == 1000; }));
    EXPECT_FALSE(rig.Bot().State()->own.UserName.empty());
}

TEST(LoginDriverTest, EmptyPollAnswerReportsAnErrorAndPollingGoesOn) {
    SimRig rig(AutoLogin());
    ASSERT_TRUE(rig.Started());
    rig.Sim().SetFault("/cgi-bin/mmwebwx-bin/login", sim::Fault{sim::FaultKind::Empty200});
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    EXPECT_EQ(rig.Screen().TextsOf("ShowMessageBox"),
              std::vector<std::string>{
                  platform::Gbk("错误提示") + "\n" +
                  platform::Gbk("等到扫码出错，请查看网络连接是否正常！(错误代码：10002)")});
    EXPECT_EQ(rig.Screen().CountOf("EndProgram"), 0u);
}

// The delays of one size, in the order they were asked for.
std::vector<std::size_t> DelaysOf(const Calls& calls, int ms) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].name == "Delay" && calls[i].number == ms) {
            found.push_back(i);
        }
    }
    return found;
}

TEST(LoginDriverTest, NoImageAfterTenAttemptsEndsTheProgram) {
    SimRig rig(sim::SimulatorOptions{}, 0.05);
    ASSERT_TRUE(rig.Started());
    sim::Fault reset{sim::FaultKind::Reset};
    reset.sticky = true;
    rig.Sim().SetFault("/qrcode/", reset);
    EXPECT_FALSE(StartLogin(rig.Bot()));

    const Calls calls = rig.Screen().Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[calls.size() - 4].name, "FadeOutStatus");
    EXPECT_EQ(calls[calls.size() - 3].name, "CloseStatus");
    EXPECT_EQ(calls[calls.size() - 2].text,
              platform::Gbk("错误提示") + "\n" +
                  platform::Gbk("二维码加载失败，请查看网络连接是否正常！(错误代码：10001)"));
    EXPECT_EQ(calls.back().name, "EndProgram");
    EXPECT_EQ(calls.back().number, EXIT_LOGIN_FAILED);
    // Five status pauses, then at least 49 pauses between the checks: the wait outlasts its
    // fifty checks while the fetch, pausing longer after each failure, still tries.
    EXPECT_EQ(DelaysOf(calls, 300).size(), 5u);
    EXPECT_GE(DelaysOf(calls, 200).size(), 49u);
    std::vector<int> fetch_pauses;
    for (const auto& call : calls) {
        if (call.name == "Delay" && call.number >= 1000) {
            fetch_pauses.push_back(call.number);
        }
    }
    EXPECT_EQ(fetch_pauses,
              (std::vector<int>{1000, 2000, 3000, 4000, 5000, 5000, 5000, 5000, 5000}));
    // One jslogin per attempt (the image request is a GET that curl may resend once on a
    // new connection after the reset).
    EXPECT_EQ(rig.RequestCount("jslogin"), 10u) << "10001 before every attempt was made";
    EXPECT_EQ(rig.Screen().CountOf("ShowQrImage"), 0u);
    EXPECT_EQ(rig.RequestCount("/cgi-bin/mmwebwx-bin/login"), 0u);
}

// One answer too slow for the whole fifty checks: the image of the next attempt is shown.
TEST(LoginDriverTest, TheWaitGoesOnWhileTheFetchStillTries) {
    SimRig rig(AutoLogin(), 0.05);
    ASSERT_TRUE(rig.Started());
    sim::Fault reset{sim::FaultKind::Reset};
    reset.sticky = true;
    rig.Sim().SetFault("/qrcode/", reset);
    std::thread clear([&rig] {
        // Five failures pause 0.75 s at this scale, past the 50 checks (about 0.5 s).
        if (rig.Sim().WaitForRequests("jslogin", 6, LOGIN_TIMEOUT)) {
            rig.Sim().ClearFaults();
        }
    });
    const bool started = StartLogin(rig.Bot());
    clear.join();
    ASSERT_TRUE(started);
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    const Calls calls = rig.Screen().Calls();
    EXPECT_GT(DelaysOf(calls, 200).size(), 49u);
    EXPECT_EQ(rig.Screen().CountOf("ShowMessageBox"), 0u);
    const std::vector<std::string> images = rig.Screen().TextsOf("ShowQrImage");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(protocol::IsImage(images[0]));
}

// An error page, garbage or half an image is no QR code: the attempt fails and the next
// one brings the image.
TEST(LoginDriverTest, OnlyAWholeImageCountsAsTheQrCode) {
    for (const sim::FaultKind kind :
         {sim::FaultKind::Http500, sim::FaultKind::Garbage, sim::FaultKind::TruncatedGzip}) {
        SimRig rig(AutoLogin(), 0.05);
        ASSERT_TRUE(rig.Started());
        rig.Sim().SetFault("/qrcode/", sim::Fault{kind});
        ASSERT_TRUE(StartLogin(rig.Bot()));
        EXPECT_EQ(rig.RequestCount("/qrcode/"), 2u);
        const std::vector<std::string> images = rig.Screen().TextsOf("ShowQrImage");
        ASSERT_EQ(images.size(), 1u);
        EXPECT_TRUE(protocol::IsImage(images[0]));
        EXPECT_EQ(rig.Screen().CountOf("ShowMessageBox"), 0u);
        EXPECT_EQ(rig.Bot().Login().draft.session.qr_image, images[0]);
    }
}

TEST(LoginDriverTest, QrFetchGivesUpAfterTenAttempts) {
    SimRig rig(sim::SimulatorOptions{});
    ASSERT_TRUE(rig.Started());
    sim::Fault reset{sim::FaultKind::Reset};
    reset.sticky = true;
    rig.Sim().SetFault("/qrcode/", reset);
    protocol::Session session;
    session.qr_image = "old";
    std::vector<int> pauses;
    protocol::FetchQrCode({rig.Bot().Web(), rig.Bot().Profile(), rig.Bot().Clock()}, session,
                          [&pauses](int ms) {
                              pauses.push_back(ms);
                              return true;
                          });
    EXPECT_TRUE(session.qr_image.empty());
    EXPECT_FALSE(session.uuid.empty());
    // One jslogin per attempt (curl may resend a request whose reused connection died).
    EXPECT_EQ(rig.RequestCount("jslogin"), 10u);
    // A pause between attempts, none after the last.
    EXPECT_EQ(pauses, (std::vector<int>{1000, 2000, 3000, 4000, 5000, 5000, 5000, 5000, 5000}));

    // A pause cut short (the robot stops) ends the attempts.
    const std::size_t before = rig.RequestCount("jslogin");
    protocol::FetchQrCode({rig.Bot().Web(), rig.Bot().Profile(), rig.Bot().Clock()}, session,
                          [](int) { return false; });
    EXPECT_EQ(rig.RequestCount("jslogin") - before, 1u);
}

// A phone that scans the code twice gets two "201" answers, and each sends both reports.
TEST(LoginDriverTest, EachScanAnswerSendsBothStatusReports) {
    SimRig rig(sim::SimulatorOptions{});
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Sim().WaitForRequest("/cgi-bin/mmwebwx-bin/login", LOGIN_TIMEOUT));
    rig.Sim().Scan();
    ASSERT_TRUE(rig.Sim().WaitForRequests("webwxstatreport", 2, LOGIN_TIMEOUT));
    rig.Sim().Scan();
    ASSERT_TRUE(rig.Sim().WaitForRequests("webwxstatreport", 4, LOGIN_TIMEOUT));

    const std::string uuid = rig.Sim().CurrentUuid();
    std::vector<std::string> reports;
    for (const sim::RecordedRequest& request : rig.Sim().Requests()) {
        if (request.path.find("webwxstatreport") != std::string::npos) {
            EXPECT_EQ(request.method, "post");
            EXPECT_TRUE(request.cookie.empty()) << "reports 1 and 2 go without cookies";
            reports.push_back(request.body);
        }
    }
    const std::string first =
        R"({"BaseRequest":{"Uin":0,"Sid":0},"Count":1,"List":[{"Type":1,"Text":)"
        R"("/cgi-bin/mmwebwx-bin/login, First Request Success, uuid: )" +
        uuid + R"("}]})";
    const std::string second =
        R"({"BaseRequest":{"Uin":0,"Sid":0},"Count":1,"List":[{"Type":1,"Text":)"
        R"("/cgi-bin/mmwebwx-bin/login, Second Request Start, uuid: )" +
        uuid + R"("}]})";
    EXPECT_EQ(reports, (std::vector<std::string>{first, second, first, second}));
    const std::string scanned = platform::Gbk("扫码成功,等待手机确认");
    EXPECT_TRUE(rig.Screen().WaitUntil(
        [&scanned](const Calls& calls) {
            return std::count_if(calls.begin(), calls.end(), [&scanned](const auto& call) {
                       return call.name == "SetLoginCaption" && call.text == scanned;
                   }) == 2;
        },
        LOGIN_TIMEOUT));
    EXPECT_TRUE(rig.Sim().Violations().empty()) << rig.Sim().Violations().front();
}

const std::string REFUSAL_BOX =
    platform::Gbk("错误提示") + "\n" +
    platform::Gbk(
        "为了你的帐号安全，此微信号不能登录网页微信。你可以使用Windows微信或Mac微信在电脑端登录。"
        "Windows微信下载地址：https://pc.weixin.qq.com  Mac微信下载地址：https://mac.weixin.qq.com"
        "(错误代码：1203) 当前为网页登录模式；桌面登录模式（服务配置 login_mode=desktop，默认）"
        "常可登录网页登录被拒的帐号。");

// A refused login is shown, not looped: the service's words in a box, one new code for
// another try (or another account), and no further cycle until someone scans.
TEST(LoginRefusalTest, TheBoxThenOneNewCodeAndNoCycleByItselfUntilAScanOrAClick) {
    // The phone acts only when told to: each code is scanned, or left to expire, on cue.
    sim::SimulatorOptions options;
    options.refuse_web_login = true;
    SimRig rig(options, DELAY_SCALE, {.web_mode = true});
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    const auto scan_code = [&rig](std::size_t code) {
        if (rig.Screen().WaitForCall("ShowQrImage", LOGIN_TIMEOUT, code)) {
            rig.Sim().Scan();
            rig.Sim().Confirm();
        }
    };
    scan_code(1);
    ASSERT_TRUE(rig.Screen().WaitForCall("ShowQrImage", LOGIN_TIMEOUT, 2));
    EXPECT_EQ(rig.Screen().TextsOf("ShowMessageBox"), std::vector<std::string>{REFUSAL_BOX});
    EXPECT_EQ(rig.Sim().Login().web_refusals, 1);
    const Calls calls = rig.Screen().Calls();
    const auto boxes = IndexesOf(calls, "ShowMessageBox");
    const auto images = IndexesOf(calls, "ShowQrImage");
    EXPECT_LT(boxes[0], images[1]);
    EXPECT_EQ(rig.Screen().CountOf("OpenMainWindow"), 0u);

    // The new code scanned too: a second refusal, a second box, a third code.
    scan_code(2);
    ASSERT_TRUE(rig.Screen().WaitForCall("ShowQrImage", LOGIN_TIMEOUT, 3));
    EXPECT_EQ(rig.Screen().CountOf("ShowMessageBox"), 2u);
    EXPECT_EQ(rig.Sim().Login().web_refusals, 2);
    // This one expires unscanned: the window waits for the user.
    rig.Sim().ExpireCode();
    ASSERT_TRUE(rig.Screen().WaitForCaption(platform::Gbk("二维码已失效，点击二维码重新获取"),
                                            LOGIN_TIMEOUT));
    EXPECT_EQ(rig.RequestCount("jslogin"), 3u);
    EXPECT_EQ(rig.Screen().CountOf("ShowQrImage"), 3u);
    // The click asks for a new code.
    rig.Sim().SetRefuseWebLogin(false);
    RequestNewQrCode(rig.Bot());
    scan_code(4);
    ASSERT_TRUE(rig.Screen().WaitForCall("OpenMainWindow", LOGIN_TIMEOUT));
    EXPECT_EQ(rig.RequestCount("jslogin"), 4u);
    // A second click while nothing waits for one starts nothing.
    RequestNewQrCode(rig.Bot());
    EXPECT_EQ(rig.RequestCount("jslogin"), 4u);
    EXPECT_EQ(rig.Screen().CountOf("EndProgram"), 0u);
}

// Unattended, a refusal ends the program with its own code after the box line.
TEST(LoginRefusalTest, UnattendedTheRefusalEndsTheProgram) {
    sim::SimulatorOptions options = AutoLogin();
    options.refuse_web_login = true;
    SimRig rig(options, DELAY_SCALE, {.web_mode = true, .unattended = true});
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("EndProgram", LOGIN_TIMEOUT));
    const Calls calls = rig.Screen().Calls();
    const auto end = IndexesOf(calls, "EndProgram");
    EXPECT_EQ(calls[end[0]].number, EXIT_LOGIN_REFUSED);
    EXPECT_EQ(calls[end[0] - 1].text, REFUSAL_BOX);
    EXPECT_EQ(rig.RequestCount("jslogin"), 1u);
}

// The account folder comes with the login: one the robot cannot write ends it before the
// main window, instead of losing every save at the end.
TEST(LoginDriverTest, AnAccountFolderThatCannotBeWrittenEndsTheLoginBeforeTheMainWindow) {
    SimRig rig(AutoLogin());
    ASSERT_TRUE(rig.Started());
    ASSERT_TRUE(platform::MakeDirectories(rig.DataRoot()));
    const std::string account = rig.DataRoot() + "/2100000001";
    ASSERT_TRUE(platform::WriteFileAtomic(account, "a file where the folder belongs"));
    ASSERT_TRUE(StartLogin(rig.Bot()));
    ASSERT_TRUE(rig.Screen().WaitForCall("EndProgram", LOGIN_TIMEOUT));
    const Calls calls = rig.Screen().Calls();
    const auto end = IndexesOf(calls, "EndProgram");
    EXPECT_EQ(calls[end[0]].number, EXIT_CONFIGURATION);
    EXPECT_EQ(calls[end[0] - 1].text, platform::Gbk("错误提示\n帐号目录无法写入：") + account +
                                          platform::Gbk("（Not a directory）"));
    EXPECT_EQ(rig.Screen().CountOf("OpenMainWindow"), 0u);
    EXPECT_EQ(rig.RequestCount("webwxgetcontact"), 0u);
}

}  // namespace
}  // namespace zelmo::app
