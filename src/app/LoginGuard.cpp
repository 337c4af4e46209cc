#include "app/LoginGuard.h"

#include <algorithm>
#include <mutex>

#include "app/Robot.h"
#include "app/SessionFile.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "platform/GbkLiteral.h"
#include "protocol/TextHelpers.h"

namespace zelmo::app {

namespace {

constexpr int DEFAULT_CAP = 12;
// More than any cap needs; a file written by hand cannot make the list grow without end.
constexpr std::size_t MAX_KEPT_LOGINS = 1000;
constexpr std::size_t MAX_LINE = std::size_t{32} * 1024;

std::string_view Value(std::string_view text, std::string_view key) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return line.substr(key.size() + 1, MAX_LINE);
        }
    }
    return {};
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void Forget(LoginHistory& history, std::int64_t now_ms) {
    std::erase_if(history.auto_logins_ms, [now_ms](std::int64_t at) {
        return at <= now_ms - AUTO_LOGIN_WINDOW_MS || at > now_ms;
    });
}

// The account's history as session.ini keeps it; a history of another account is none.
LoginHistory HistoryOf(Robot& robot, std::string_view uin) {
    LoginHistory history = LoadLoginHistory(robot.Options().data_root);
    if (history.uin != uin) {
        history = LoginHistory{};
        history.uin = std::string(uin);
    }
    return history;
}

}  // namespace

std::string FormatLoginHistory(const LoginHistory& history) {
    std::string text = "[logins]\nhistory_uin=" + history.uin + "\nauto_logins=";
    for (std::size_t i = 0; i < history.auto_logins_ms.size(); ++i) {
        text += (i == 0 ? "" : ",") + std::to_string(history.auto_logins_ms[i]);
    }
    text += "\nquick_ends=" + std::to_string(history.quick_ends) + "\n";
    return text;
}

LoginHistory ParseLoginHistory(std::string_view text) {
    LoginHistory history;
    const std::string_view uin = Value(text, "history_uin");
    if (!AllDigits(uin)) {
        return history;
    }
    history.uin = std::string(uin);
    const std::string_view logins = Value(text, "auto_logins");
    for (std::size_t start = 0; start < logins.size();) {
        std::size_t comma = logins.find(',', start);
        if (comma == std::string_view::npos) {
            comma = logins.size();
        }
        const std::string_view at = logins.substr(start, comma - start);
        if (AllDigits(at) && at.size() <= 15 && history.auto_logins_ms.size() < MAX_KEPT_LOGINS) {
            history.auto_logins_ms.push_back(protocol::IntegerValue(at));
        }
        start = comma + 1;
    }
    std::sort(history.auto_logins_ms.begin(), history.auto_logins_ms.end());
    const std::string_view quick = Value(text, "quick_ends");
    if (AllDigits(quick) && quick.size() <= 6) {
        history.quick_ends = static_cast<int>(protocol::IntegerValue(quick));
    }
    return history;
}

LoginStop AutoLoginStop(const LoginHistory& history, std::int64_t now_ms, int cap) {
    if (history.quick_ends >= QUICK_ENDS_TO_STOP) {
        return LoginStop::EndedRightAfterLogin;
    }
    if (cap <= 0) {
        return LoginStop::None;
    }
    const auto recent = std::count_if(
        history.auto_logins_ms.begin(), history.auto_logins_ms.end(),
        [now_ms](std::int64_t at) { return at > now_ms - AUTO_LOGIN_WINDOW_MS && at <= now_ms; });
    return recent >= cap ? LoginStop::Capped : LoginStop::None;
}

int AutoLoginCap(std::string_view text) {
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos || text[start] < '0' || text[start] > '9') {
        return DEFAULT_CAP;
    }
    return static_cast<int>(std::min<long long>(protocol::IntegerValue(text), 1000000));
}

std::string LoginStopText(LoginStop stop, const LoginHistory& history, int cap) {
    std::string what;
    if (stop == LoginStop::EndedRightAfterLogin) {
        what = platform::Gbk("服务器在登录后随即结束了会话，已连续") +
               std::to_string(history.quick_ends) + platform::Gbk("次。");
    } else {
        what = platform::Gbk("机器人在24小时内已自动登录") + std::to_string(cap) +
               platform::Gbk("次，达到上限（机器人设置 自动登录上限）。");
    }
    return what + platform::Gbk(
                      "反复登录可能导致帐号被限制，机器人已停止自动登录。您可以：等几个小时再"
                      "登录；确认这个帐号可以在电脑上登录微信；或者换一个帐号。");
}

int AutoLoginCapFor(Robot& robot, std::string_view uin) {
    if (!robot.AccountDir().empty()) {
        return AutoLoginCap(robot.Settings().Get()->自动登录上限);
    }
    const std::string path = config::ConfigPath(
        config::AccountDirFor(robot.Options().data_root, uin), config::SETTINGS_FILE);
    return AutoLoginCap(config::LoadSettings(path).自动登录上限);
}

void MarkLoggedOut(Robot& robot) {
    std::lock_guard lock(robot.SessionFileMutex());
    MarkSessionLoggedOut(robot.Options().data_root);
}

void CountAutoLogin(Robot& robot, std::string_view uin) {
    std::lock_guard lock(robot.SessionFileMutex());
    LoginHistory history = HistoryOf(robot, uin);
    const std::int64_t now = robot.Clock().UnixMs();
    Forget(history, now);
    history.auto_logins_ms.push_back(now);
    SaveLoginHistory(robot.Options().data_root, history);
}

LoginStop AutoLoginStopNow(Robot& robot, std::string_view uin) {
    const int cap = AutoLoginCapFor(robot, uin);
    std::lock_guard lock(robot.SessionFileMutex());
    return AutoLoginStop(HistoryOf(robot, uin), robot.Clock().UnixMs(), cap);
}

LoginHistory NoteSessionEnd(Robot& robot, std::string_view uin, std::uint64_t generation) {
    const bool right_after_login =
        robot.Watch().EndedRightAfterLogin(generation, robot.Clock().TickMs());
    std::lock_guard lock(robot.SessionFileMutex());
    LoginHistory history = HistoryOf(robot, uin);
    history.quick_ends = right_after_login ? history.quick_ends + 1 : 0;
    Forget(history, robot.Clock().UnixMs());
    SaveLoginHistory(robot.Options().data_root, history);
    return history;
}

void NoteSessionProved(Robot& robot, std::string_view uin) {
    std::lock_guard lock(robot.SessionFileMutex());
    LoginHistory history = HistoryOf(robot, uin);
    if (history.quick_ends != 0) {
        history.quick_ends = 0;
        SaveLoginHistory(robot.Options().data_root, history);
    }
}

}  // namespace zelmo::app
