#pragma once

#include <string_view>

#include "protocol/SyncAnswer.h"

namespace zelmo::app {

class Robot;

// The answers by which the service ends a running session: synccheck retcode 1100, 1101
// or 1102, and webwxsync or webwxsendmsg Ret 1100 or 1101.
bool EndsSession(std::string_view retcode);
bool SyncAnswerEndsSession(const protocol::SyncAnswer& answer);

// 自动重新登录 as the loaded settings say.
bool AutoReloginOn(Robot& robot);

// The service ended the running session and 自动重新登录 is on. On the heartbeat thread,
// which polls no more meanwhile: offline, the caption says the robot logs in again, the
// usual logout goes out first on 1100; then push logins (the phone confirms, no scan),
// falling back to a QR code (the login window, or the terminal), with pauses from 5 s
// doubling up to 5 min between failed attempts. Once logged in to the same account: the
// new session is published and saved, the contacts and the status notice run again, and
// the robot is online. Knowledge base, settings, plugins, windows and log stay as they
// are. Every push and every QR code counts as a login the robot starts by itself; after two
// sessions in a row that the service ended right after their login, or beyond
// 自动登录上限, the robot starts none (LoginGuard): a "错误提示" box says why, then the
// desktop waits at the login window until the user asks for a QR code, and an unattended
// robot ends the program with EXIT_LOGIN_FAILED. True once logged in again; false when the
// robot stops, or (unattended) gave up and ended the program.
bool Relogin(Robot& robot, std::string_view retcode);

}  // namespace zelmo::app
