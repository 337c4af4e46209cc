#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::app {

class Robot;

// Sessions in a row that the service ended right after their login (SessionWatch), after
// which the robot logs in no more by itself: repeated logins into such sessions are what
// gets accounts restricted.
inline constexpr int QUICK_ENDS_TO_STOP = 2;
// The window that 自动登录上限 counts in.
inline constexpr std::int64_t AUTO_LOGIN_WINDOW_MS = std::int64_t{24} * 60 * 60 * 1000;

// What session.ini keeps of an account's logins, so that a restart loop cannot go around
// the limits.
struct LoginHistory {
    std::string uin;
    // Logins the robot started by itself (hot starts, pushes, a re-login's QR codes), Unix
    // ms, oldest first.
    std::vector<std::int64_t> auto_logins_ms;
    // Sessions in a row the service ended right after their login.
    int quick_ends = 0;

    bool operator==(const LoginHistory&) const = default;
};

// A [logins] section of key=value lines; keys that the session's own lines never use.
std::string FormatLoginHistory(const LoginHistory& history);
// Reads the history out of a whole session.ini; any bytes, what is not readable counts as
// nothing.
LoginHistory ParseLoginHistory(std::string_view text);

enum class LoginStop { None, EndedRightAfterLogin, Capped };

// Whether the robot may start a login by itself now. `cap` logins in the window at most
// (0: no cap).
LoginStop AutoLoginStop(const LoginHistory& history, std::int64_t now_ms, int cap);

// 自动登录上限 as a number: 0 for no cap, the default for a text that is no number.
int AutoLoginCap(std::string_view text);

// The message box text of a stop (GBK): what happened, that repeated logins may get the
// account restricted, and what the user can do.
std::string LoginStopText(LoginStop stop, const LoginHistory& history, int cap);

// The account's cap: the loaded settings once the start-up read them, else its file.
int AutoLoginCapFor(Robot& robot, std::string_view uin);

// Whether the robot may start a login by itself for the account `uin` now.
LoginStop AutoLoginStopNow(Robot& robot, std::string_view uin);
// MarkSessionLoggedOut under the lock of every session.ini write, so a close during a
// re-login cannot undo the login history the re-login writes meanwhile.
void MarkLoggedOut(Robot& robot);
// Counts a login the robot started by itself in session.ini. Only attempts that reached the
// service count: a network that is down logs nobody in.
void CountAutoLogin(Robot& robot, std::string_view uin);
// The service ended the session of `generation`: a session ended right after its login
// adds one to the row in session.ini, any other starts it over. The history after.
LoginHistory NoteSessionEnd(Robot& robot, std::string_view uin, std::uint64_t generation);
// The session proved to be no such session: the row starts over.
void NoteSessionProved(Robot& robot, std::string_view uin);

}  // namespace zelmo::app
