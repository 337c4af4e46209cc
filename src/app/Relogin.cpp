#include "app/Relogin.h"

#include <algorithm>
#include <chrono>

#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/LoginGuard.h"
#include "app/OneBotStart.h"
#include "app/Robot.h"
#include "app/SessionFile.h"
#include "app/Startup.h"
#include "platform/GbkLiteral.h"
#include "protocol/ConnectionState.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

namespace {

constexpr int FIRST_PAUSE_MS = 5000;
constexpr int MAX_PAUSE_MS = 5 * 60 * 1000;
// Unattended, a re-login gives up after this many attempts (about ten minutes of pauses),
// or when this many QR codes expired without a scan (each lives several minutes).
constexpr int UNATTENDED_ATTEMPTS = 8;
constexpr int UNATTENDED_EXPIRED_CODES = 3;
constexpr std::chrono::milliseconds DONE_CHECK{200};

enum class QrOutcome { Done, NoImage, NoScan, Stopped, NotByItself };

bool Stopping(Robot& robot) {
    return robot.Stopping() || robot.HeartbeatStop().load();
}

// The one place where the re-login tells the rest of the robot whether it is online.
void SetOnline(Robot& robot, bool online) {
    robot.Connection().Set(online ? protocol::STATE_ONLINE : protocol::STATE_OFFLINE);
    TellOneBotOnline(robot, online);
}

// The QR fallback: the login window comes back (or the terminal draws the code) and the
// login's poll thread hands the session back here.
QrOutcome QrRelogin(Robot& robot) {
    LoginRun& run = robot.Login();
    run.relogin_ok.store(false);
    run.relogin_done.Reset();
    run.expired_codes.store(0);
    run.auto_login_stopped.store(false);
    run.relogin.store(true);
    if (!StartLogin(robot)) {
        run.relogin.store(false);
        if (run.auto_login_stopped.load()) {
            return QrOutcome::NotByItself;
        }
        return Stopping(robot) ? QrOutcome::Stopped : QrOutcome::NoImage;
    }
    robot.Screen().ShowLoginWindow();
    QrOutcome outcome = QrOutcome::Done;
    while (!run.relogin_done.WaitFor(DONE_CHECK)) {
        if (Stopping(robot)) {
            outcome = QrOutcome::Stopped;
            break;
        }
        if (robot.Options().unattended && run.expired_codes.load() >= UNATTENDED_EXPIRED_CODES) {
            outcome = QrOutcome::NoScan;
            break;
        }
    }
    run.relogin.store(false);
    // Raised without a session: a later cycle of this login found no QR code, or may not
    // start by itself.
    if (outcome == QrOutcome::Done && !run.relogin_ok.load()) {
        return run.auto_login_stopped.load() ? QrOutcome::NotByItself : QrOutcome::NoImage;
    }
    return outcome;
}

// The new login must be the account whose files, windows and log the robot keeps.
bool SameAccount(Robot& robot, const std::string& uin) {
    const protocol::ProtocolState& draft = robot.Login().draft;
    if (draft.session.uin == uin) {
        return true;
    }
    protocol::SendLogout(robot.Link(), draft);
    robot.Screen().ShowMessageBox(platform::Gbk("错误提示"),
                                  platform::Gbk("请用原来的帐号登录（Uin ") + uin + ")");
    return false;
}

void Resume(Robot& robot) {
    PublishDraft(robot);
    RunSessionSteps(robot, SessionStepsAfter::Relogin);
    KeepSession(robot);
    // Sends that met the old session's end meanwhile have nothing more to say.
    robot.SessionEndReported().store(false);
    SetOnline(robot, true);
    robot.Screen().CloseStatus();
}

bool GiveUp(Robot& robot) {
    robot.Screen().CloseStatus();
    robot.Screen().EndProgram(EXIT_LOGIN_FAILED);
    return false;
}

// The robot may log in by itself no more: a "错误提示" box says why. Unattended, the program
// ends (a supervisor's restart then waits for a scan); the desktop waits at the login window
// until the user asks for a QR code and logs in with it.
bool WaitForUser(Robot& robot, const protocol::Session& base, LoginStop stop) {
    UiPort& screen = robot.Screen();
    screen.CloseStatus();
    screen.ShowMessageBox(platform::Gbk("错误提示"),
                          LoginStopText(stop, LoadLoginHistory(robot.Options().data_root),
                                        AutoLoginCapFor(robot, base.uin)));
    if (robot.Options().unattended) {
        return GiveUp(robot);
    }
    screen.SetMainCaption(protocol::CaptionFor(protocol::STATE_OFFLINE));
    LoginRun& run = robot.Login();
    for (;;) {
        run.relogin_ok.store(false);
        run.relogin_done.Reset();
        run.relogin.store(true);
        run.waiting_for_request.store(true);
        screen.ShowQrImage({});
        screen.SetLoginCaption(platform::Gbk("已停止自动登录，点击这里获取二维码"));
        screen.ShowLoginWindow();
        while (!run.relogin_done.WaitFor(DONE_CHECK)) {
            if (Stopping(robot)) {
                run.relogin.store(false);
                run.waiting_for_request.store(false);
                return false;
            }
        }
        run.relogin.store(false);
        if (run.relogin_ok.load() && SameAccount(robot, base.uin)) {
            Resume(robot);
            return true;
        }
    }
}

}  // namespace

bool EndsSession(std::string_view retcode) {
    return retcode == "1100" || retcode == "1101" || retcode == "1102";
}

bool SyncAnswerEndsSession(const protocol::SyncAnswer& answer) {
    return answer.ret == "1100" || answer.ret == "1101";
}

bool AutoReloginOn(Robot& robot) {
    return robot.Settings().Get()->自动重新登录;
}

bool Relogin(Robot& robot, std::string_view retcode) {
    SetOnline(robot, false);
    robot.Screen().SetMainCaption(platform::Gbk("Zelmo 5.3  重新登录中"));
    const std::shared_ptr<const protocol::ProtocolState> ended = robot.State();
    const protocol::Session base = ended->session;
    if (retcode == "1100") {
        protocol::SendLogout(robot.Link(), *ended);
    }
    NoteSessionEnd(robot, base.uin, ended->generation);
    int pause_ms = FIRST_PAUSE_MS;
    for (int attempt = 1;; ++attempt) {
        if (Stopping(robot)) {
            return false;
        }
        if (const LoginStop stop = AutoLoginStopNow(robot, base.uin); stop != LoginStop::None) {
            return WaitForUser(robot, base, stop);
        }
        const PushOutcome push = PushLogin(robot, base);
        if (push == PushOutcome::Stopped) {
            return false;
        }
        if (push != PushOutcome::NoAnswer) {
            CountAutoLogin(robot, base.uin);
        }
        if (push == PushOutcome::Done && SameAccount(robot, base.uin)) {
            Resume(robot);
            return true;
        }
        robot.Screen().CloseStatus();
        // A service that answered but let no push through leaves the QR code; a silent one
        // would not give a QR code either.
        if (push != PushOutcome::NoAnswer && push != PushOutcome::Done) {
            if (push == PushOutcome::Refused) {
                if (robot.Options().unattended) {
                    robot.Screen().EndProgram(EXIT_LOGIN_REFUSED);
                    return false;
                }
                robot.Login().after_refusal.store(true);
            }
            const QrOutcome qr = QrRelogin(robot);
            if (qr == QrOutcome::Stopped) {
                return false;
            }
            if (qr == QrOutcome::NotByItself) {
                const LoginStop stop = AutoLoginStopNow(robot, base.uin);
                return WaitForUser(robot, base, stop == LoginStop::None ? LoginStop::Capped : stop);
            }
            if (qr == QrOutcome::NoScan) {
                return GiveUp(robot);
            }
            if (qr == QrOutcome::Done && SameAccount(robot, base.uin)) {
                Resume(robot);
                return true;
            }
        }
        if (robot.Options().unattended && attempt >= UNATTENDED_ATTEMPTS) {
            return GiveUp(robot);
        }
        if (!robot.Pause()(pause_ms) || Stopping(robot)) {
            return false;
        }
        pause_ms = std::min(pause_ms * 2, MAX_PAUSE_MS);
    }
}

}  // namespace zelmo::app
