#include "app/LoginDriver.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "app/Robot.h"
#include "app/Startup.h"
#include "platform/GbkLiteral.h"
#include "protocol/LoginFlow.h"

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

constexpr std::array<std::string_view, 5> START_TEXTS = {
    "登录中..", "载入中....", "连接中.......", "微信机器人 - Tech edition", "载入二维码..."};

protocol::ServiceLink LinkOf(const Robot& robot) {
    return {robot.Web(), robot.Profile(), robot.Clock()};
}

enum class PollOutcome { Confirmed, Expired, Stopped };

PollOutcome PollUntilDecided(Robot& robot, std::string& confirmed_answer) {
    UiPort& screen = robot.Screen();
    const protocol::ServiceLink link = LinkOf(robot);
    while (!robot.Stopping()) {
        protocol::PollAnswer poll = protocol::PollLogin(link, robot.State().session);
        if (robot.Stopping()) {
            break;
        }
        if (poll.code == "200") {
            screen.SetLoginCaption(platform::Gbk("手机已确认登入微信"));
            confirmed_answer = std::move(poll.answer);
            return PollOutcome::Confirmed;
        }
        if (poll.code == "201") {
            protocol::ReportScan(link, robot.State().session);
            screen.SetLoginCaption(platform::Gbk("扫码成功,等待手机确认"));
        } else if (poll.code == "408") {
            screen.SetLoginCaption(platform::Gbk("还未确认或者还未扫码"));
        } else if (poll.code == "400") {
            screen.SetLoginCaption(platform::Gbk("二维码失效,重新获取"));
            return PollOutcome::Expired;
        } else {
            ReportLoginError(robot, SCAN_WAIT_FAILED);
            screen.Delay(POLL_ERROR_PAUSE_MS);
        }
    }
    return PollOutcome::Stopped;
}

// A new cycle from the poll thread; the login window stays hidden while it loads.
void RestartLogin(Robot& robot) {
    if (StartLogin(robot)) {
        robot.Screen().ShowLoginWindow();
    }
}

}  // namespace

bool StartLogin(Robot& robot) {
    UiPort& screen = robot.Screen();
    protocol::Session& session = robot.State().session;

    // The wait below must see only this cycle's image: clear the last one before the fetch.
    robot.SetQrReady(false);
    session.qr_image.clear();
    session.uuid.clear();
    // Raised after the ready flag, so a waiter that sees it also sees the fetch's outcome.
    const auto fetch_done = std::make_shared<std::atomic<bool>>(false);
    const bool fetching = robot.StartThread([&robot, fetch_done] {
        const platform::Pause pause = [&robot](int ms) {
            robot.Screen().Delay(ms);
            return !robot.Stopping();
        };
        protocol::FetchQrCode(LinkOf(robot), robot.State().session, pause);
        robot.SetQrReady(!robot.State().session.qr_image.empty());
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
        if (robot.QrReady()) {
            screen.ShowQrImage(session.qr_image);
            screen.SetLoginCaption(platform::Gbk("请用手机微信扫一扫二维码"));
            break;
        }
        if (check >= QR_CHECKS && fetch_ended) {
            screen.FadeOutStatus();
            screen.CloseStatus();
            ReportLoginError(robot, QR_LOAD_FAILED);
            screen.EndProgram(0);
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
    if (outcome == PollOutcome::Stopped) {
        return;
    }
    screen.HideLoginWindow();
    if (outcome == PollOutcome::Expired) {
        RestartLogin(robot);
        return;
    }

    const protocol::ServiceLink link = LinkOf(robot);
    screen.ShowStatus(platform::Gbk("登录中,请稍候.."), true);
    if (!protocol::CompleteLogin(link, poll_answer, robot.State().session)) {
        if (robot.Stopping()) {
            return;
        }
        screen.CloseStatus();
        RestartLogin(robot);
        return;
    }
    while (!protocol::InitSession(link, robot.State())) {
        if (robot.Stopping()) {
            return;
        }
        screen.Delay(INIT_RETRY_PAUSE_MS);
    }
    screen.ShowStatus(platform::Gbk("载入中..."), true);
    screen.HideLoginWindow();
    screen.OpenMainWindow();
    screen.CloseLoginWindow();
    RunStartup(robot);
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

}  // namespace zelmo::app
