#include "app/LoginDriver.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/ExitCodes.h"
#include "app/LoginGuard.h"
#include "app/Robot.h"
#include "app/SessionFile.h"
#include "app/StartChecks.h"
#include "app/Startup.h"
#include "config/AccountPaths.h"
#include "platform/GbkLiteral.h"
#include "protocol/LoginFlow.h"
#include "protocol/PushLogin.h"

namespace zelmo::app {

namespace {

constexpr int QR_LOAD_FAILED = 10001;
constexpr int SCAN_WAIT_FAILED = 10002;
constexpr int STATUS_PAUSE_MS = 300;
constexpr int QR_CHECKS = 50;
constexpr int QR_CHECK_PAUSE_MS = 200;
// Neither pause is the service's: they keep a failing network from turning the loops
// into busy ones.
constexpr int INIT_RETRY_PAUSE_MS = 1000;
constexpr int POLL_ERROR_PAUSE_MS = 1000;
// A push login waits this many polls (each held up to 30 s) for the phone's confirmation.
constexpr int PUSH_POLLS = 6;
// webwxinit after a push: a few tries, then the push counts as failed.
constexpr int PUSH_INIT_TRIES = 3;

constexpr std::array<std::string_view, 5> START_TEXTS = {
    "登录中..", "载入中....", "连接中.......", "微信机器人 - Tech edition", "载入二维码..."};

enum class PollOutcome { Confirmed, Expired, WaitForRequest, Stopped };

PollOutcome PollUntilDecided(Robot& robot, std::string& confirmed_answer) {
    UiPort& screen = robot.Screen();
    LoginRun& run = robot.Login();
    const protocol::ServiceLink link = robot.Link();
    while (!robot.Stopping()) {
        protocol::PollAnswer poll = protocol::PollLogin(link, run.draft.session);
        if (robot.Stopping()) {
            break;
        }
        if (poll.code == "200") {
            screen.SetLoginCaption(platform::Gbk("手机已确认登入微信"));
            confirmed_answer = std::move(poll.answer);
            return PollOutcome::Confirmed;
        }
        if (poll.code == "201") {
            // A scan: the user is here, cycles may start by themselves again.
            run.after_refusal.store(false);
            protocol::ReportScan(link, run.draft.session);
            screen.SetLoginCaption(platform::Gbk("扫码成功,等待手机确认"));
        } else if (poll.code == "408") {
            screen.SetLoginCaption(platform::Gbk("还未确认或者还未扫码"));
        } else if (poll.code == "400") {
            if (run.after_refusal.load()) {
                run.waiting_for_request.store(true);
                screen.SetLoginCaption(platform::Gbk("二维码已失效，点击二维码重新获取"));
                return PollOutcome::WaitForRequest;
            }
            screen.SetLoginCaption(platform::Gbk("二维码失效,重新获取"));
            run.expired_codes.fetch_add(1);
            return PollOutcome::Expired;
        } else {
            ReportLoginError(robot, SCAN_WAIT_FAILED);
            screen.Delay(POLL_ERROR_PAUSE_MS);
        }
    }
    return PollOutcome::Stopped;
}

// A new cycle from a login thread; the login window stays hidden while it loads.
void RestartLogin(Robot& robot) {
    if (StartLogin(robot)) {
        robot.Screen().ShowLoginWindow();
    }
}

// The service's own words and code; web mode adds that the desktop mode exists.
void ShowRefusal(Robot& robot, const protocol::LoginRefusal& refusal, protocol::LoginMode mode) {
    std::string text = refusal.message + platform::Gbk("(错误代码：") + refusal.ret + ")";
    if (mode == protocol::LoginMode::Web) {
        text += platform::Gbk(
            " 当前为网页登录模式；桌面登录模式（服务配置 login_mode=desktop，默认）"
            "常可登录网页登录被拒的帐号。");
    }
    robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), text);
}

// After a refusal: headless ends the run; the desktop offers one new code (maybe for
// another account) and starts no further cycle by itself until a scan.
void AfterRefusal(Robot& robot) {
    if (robot.Options().unattended) {
        robot.Screen().EndProgram(EXIT_LOGIN_REFUSED);
        return;
    }
    robot.Login().after_refusal.store(true);
}

// The account folder must take the robot's files before anything is loaded from it.
bool AccountFolderUsable(Robot& robot) {
    const std::string dir =
        config::AccountDirFor(robot.Options().data_root, robot.Login().draft.own.Uin);
    const std::optional<StartProblem> problem = CheckAccountFolder(dir);
    if (!problem) {
        return true;
    }
    UiPort& screen = robot.Screen();
    screen.CloseStatus();
    screen.ShowMessageBox(platform::Gbk("错误提示"), problem->text);
    screen.EndProgram(problem->exit_code);
    return false;
}

// A login thread's login is complete and initialised.
void FinishLogin(Robot& robot) {
    UiPort& screen = robot.Screen();
    LoginRun& run = robot.Login();
    if (run.relogin.load()) {
        screen.HideLoginWindow();
        run.relogin_ok.store(true);
        run.relogin_done.Set();
        return;
    }
    screen.ShowStatus(platform::Gbk("载入中..."), true);
    screen.HideLoginWindow();
    if (!AccountFolderUsable(robot)) {
        return;
    }
    PublishDraft(robot);
    screen.OpenMainWindow();
    screen.CloseLoginWindow();
    RunStartup(robot);
}

// Hot start: the saved session, then the phone, then a QR code.
void ResumeSavedSession(Robot& robot, const protocol::SavedSession& saved) {
    UiPort& screen = robot.Screen();
    screen.ShowStatus(platform::Gbk("登录中.."), true);
    protocol::ProtocolState& draft = robot.Login().draft;
    draft = {};
    draft.session = saved.session;
    draft.sync_key = saved.sync_key;
    const std::string& uin = saved.session.uin;
    if (!saved.logged_out && AutoLoginStopNow(robot, uin) == LoginStop::None) {
        const bool resumed = protocol::InitSession(robot.Link(), draft);
        if (resumed || !draft.init_answer.empty()) {
            CountAutoLogin(robot, uin);
        }
        if (resumed) {
            FinishLogin(robot);
            return;
        }
    }
    if (robot.Stopping()) {
        return;
    }
    PushOutcome push = PushOutcome::NotPossible;
    if (AutoLoginStopNow(robot, uin) == LoginStop::None) {
        push = PushLogin(robot, saved.session);
        if (push != PushOutcome::NoAnswer && push != PushOutcome::Stopped) {
            CountAutoLogin(robot, uin);
        }
    }
    switch (push) {
        case PushOutcome::Done:
            FinishLogin(robot);
            return;
        case PushOutcome::Stopped:
            return;
        case PushOutcome::Refused:
            AfterRefusal(robot);
            if (robot.Stopping()) {
                return;
            }
            break;
        default:
            break;
    }
    screen.CloseStatus();
    RestartLogin(robot);
}

}  // namespace

void PublishDraft(Robot& robot) {
    protocol::ProtocolState& draft = robot.Login().draft;
    std::string init_answer = std::move(draft.init_answer);
    robot.Sessions().Publish(draft);
    draft.init_answer = std::move(init_answer);
    robot.Watch().LoggedIn(robot.State()->generation, robot.Clock().TickMs());
}

bool BeginLogin(Robot& robot) {
    const std::string& data_root = robot.Options().data_root;
    const std::optional<protocol::SavedSession> saved = LoadSession(data_root);
    if (!saved || !AutoReloginFor(data_root, saved->session.uin)) {
        return StartLogin(robot);
    }
    // The robot logs in by itself no more: the user scans, or does not.
    if (const LoginStop stop = AutoLoginStopNow(robot, saved->session.uin);
        stop != LoginStop::None) {
        robot.Screen().ShowMessageBox(platform::Gbk("错误提示"),
                                      LoginStopText(stop, LoadLoginHistory(data_root),
                                                    AutoLoginCapFor(robot, saved->session.uin)));
        return StartLogin(robot);
    }
    robot.Screen().HideLoginWindow();
    robot.StartThread([&robot, saved = *saved] { ResumeSavedSession(robot, saved); });
    return false;
}

bool StartLogin(Robot& robot) {
    UiPort& screen = robot.Screen();
    LoginRun& run = robot.Login();
    protocol::Session& session = run.draft.session;

    // A re-login's code that the user did not ask for is a login the robot starts by itself.
    const bool by_itself = !run.user_asked.exchange(false) && run.relogin.load();
    const std::string uin = robot.State()->session.uin;
    if (by_itself && AutoLoginStopNow(robot, uin) != LoginStop::None) {
        run.auto_login_stopped.store(true);
        run.relogin_ok.store(false);
        run.relogin_done.Set();
        return false;
    }

    // The wait below must see only this cycle's image: clear the last one before the fetch.
    run.qr_ready.store(false, std::memory_order_release);
    run.waiting_for_request.store(false);
    session.qr_image.clear();
    session.uuid.clear();
    // Raised after the ready flag, so a waiter that sees it also sees the fetch's outcome.
    const auto fetch_done = std::make_shared<std::atomic<bool>>(false);
    const bool fetching = robot.StartThread([&robot, fetch_done] {
        const platform::Pause pause = [&robot](int ms) {
            robot.Screen().Delay(ms);
            return !robot.Stopping();
        };
        LoginRun& fetching_run = robot.Login();
        protocol::FetchQrCode(robot.Link(), fetching_run.draft.session, pause);
        fetching_run.qr_ready.store(!fetching_run.draft.session.qr_image.empty(),
                                    std::memory_order_release);
        fetch_done->store(true, std::memory_order_release);
    });
    if (!fetching) {
        return false;
    }

    for (const std::string_view text : START_TEXTS) {
        screen.ShowStatus(platform::Gbk(text), true);
        screen.Delay(STATUS_PAUSE_MS);
    }

    // Fifty checks as always; past them the wait lasts as long as the fetch still tries,
    // since one slow answer takes longer than all fifty.
    for (int check = 1;; ++check) {
        if (robot.Stopping()) {
            return false;
        }
        const bool fetch_ended = fetch_done->load(std::memory_order_acquire);
        if (run.qr_ready.load(std::memory_order_acquire)) {
            if (by_itself) {
                CountAutoLogin(robot, uin);
            }
            screen.ShowQrImage(session.qr_image);
            screen.SetLoginCaption(platform::Gbk("请用手机微信扫一扫二维码"));
            break;
        }
        if (check >= QR_CHECKS && fetch_ended) {
            screen.FadeOutStatus();
            screen.CloseStatus();
            // A re-login outlasts a network outage: it backs off and tries again.
            if (run.relogin.load()) {
                run.relogin_ok.store(false);
                run.relogin_done.Set();
                return false;
            }
            ReportLoginError(robot, QR_LOAD_FAILED);
            screen.EndProgram(EXIT_LOGIN_FAILED);
            return false;
        }
        screen.Delay(QR_CHECK_PAUSE_MS);
    }

    screen.FadeOutStatus();
    screen.CloseStatus();
    return robot.StartThread([&robot] { LoginPollThread(robot); });
}

void LoginPollThread(Robot& robot) {
    UiPort& screen = robot.Screen();
    screen.SetLoginCaption(platform::Gbk("等待手机微信扫码"));

    std::string poll_answer;
    const PollOutcome outcome = PollUntilDecided(robot, poll_answer);
    if (outcome == PollOutcome::Stopped || outcome == PollOutcome::WaitForRequest) {
        return;
    }
    screen.HideLoginWindow();
    if (outcome == PollOutcome::Expired) {
        RestartLogin(robot);
        return;
    }

    const protocol::ServiceLink link = robot.Link();
    protocol::ProtocolState& draft = robot.Login().draft;
    screen.ShowStatus(platform::Gbk("登录中,请稍候.."), true);
    std::optional<protocol::LoginRefusal> refusal;
    if (!protocol::CompleteLogin(link, poll_answer, draft.session, &refusal)) {
        if (robot.Stopping()) {
            return;
        }
        screen.CloseStatus();
        if (refusal) {
            ShowRefusal(robot, *refusal, draft.session.login_mode);
            AfterRefusal(robot);
            if (robot.Stopping()) {
                return;
            }
        }
        RestartLogin(robot);
        return;
    }
    while (!protocol::InitSession(link, draft)) {
        if (robot.Stopping()) {
            return;
        }
        screen.Delay(INIT_RETRY_PAUSE_MS);
    }
    FinishLogin(robot);
}

void ReportLoginError(Robot& robot, int code) {
    std::string_view message;
    if (code == QR_LOAD_FAILED) {
        message = "二维码加载失败，请查看网络连接是否正常！";
    } else if (code == SCAN_WAIT_FAILED) {
        message = "等到扫码出错，请查看网络连接是否正常！";
    }
    const std::string text =
        platform::Gbk(message) + platform::Gbk("(错误代码：") + std::to_string(code) + ")";
    robot.Screen().ShowMessageBox(platform::Gbk("错误提示"), text);
}

void RequestNewQrCode(Robot& robot) {
    if (!robot.Login().waiting_for_request.exchange(false)) {
        return;
    }
    robot.Login().user_asked.store(true);
    robot.StartThread([&robot] { RestartLogin(robot); });
}

PushOutcome PushLogin(Robot& robot, const protocol::Session& base) {
    UiPort& screen = robot.Screen();
    const protocol::ServiceLink link = robot.Link();
    protocol::ProtocolState& draft = robot.Login().draft;
    draft = {};
    draft.session.uin = base.uin;
    draft.session.fun = base.fun;
    draft.session.cookies = base.cookies;
    draft.session.login_mode = base.login_mode;

    const protocol::PushStart start = protocol::RequestPushLogin(link, draft.session);
    if (robot.Stopping()) {
        return PushOutcome::Stopped;
    }
    if (!start.answered) {
        return PushOutcome::NoAnswer;
    }
    if (start.uuid.empty()) {
        return PushOutcome::NotPossible;
    }
    draft.session.uuid = start.uuid;
    screen.ShowStatus(platform::Gbk("请在手机上确认登录"), true);

    std::string confirmed;
    for (int poll_count = 0; poll_count < PUSH_POLLS && confirmed.empty(); ++poll_count) {
        protocol::PollAnswer poll = protocol::PollLogin(link, draft.session);
        if (robot.Stopping()) {
            return PushOutcome::Stopped;
        }
        if (poll.code == "200") {
            confirmed = std::move(poll.answer);
        } else if (poll.code == "201") {
            protocol::ReportScan(link, draft.session);
        } else if (poll.code == "400") {
            return PushOutcome::NotConfirmed;
        } else if (poll.code != "408") {
            screen.Delay(POLL_ERROR_PAUSE_MS);
        }
    }
    if (confirmed.empty()) {
        return PushOutcome::NotConfirmed;
    }
    screen.ShowStatus(platform::Gbk("登录中,请稍候.."), true);
    std::optional<protocol::LoginRefusal> refusal;
    if (!protocol::CompleteLogin(link, confirmed, draft.session, &refusal)) {
        if (refusal) {
            ShowRefusal(robot, *refusal, draft.session.login_mode);
            return PushOutcome::Refused;
        }
        return robot.Stopping() ? PushOutcome::Stopped : PushOutcome::NotConfirmed;
    }
    // The new session's cookies came on top of the old ones; the service reads the first.
    draft.session.cookies = protocol::NewestCookies(draft.session.cookies);
    for (int attempt = 1; attempt <= PUSH_INIT_TRIES; ++attempt) {
        if (protocol::InitSession(link, draft)) {
            return PushOutcome::Done;
        }
        if (robot.Stopping()) {
            return PushOutcome::Stopped;
        }
        screen.Delay(INIT_RETRY_PAUSE_MS);
    }
    return PushOutcome::NotConfirmed;
}

}  // namespace zelmo::app
