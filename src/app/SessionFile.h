#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/LoginGuard.h"
#include "protocol/SavedSession.h"
#include "protocol/Session.h"

namespace zelmo::app {

// session.ini in the run directory: the last login's session, kept so that the next start
// resumes it without a scan. It holds tokens and cookies: mode 0600, never printed.
inline constexpr std::string_view SESSION_FILE_NAME = "session.ini";

std::string SessionFilePath(std::string_view data_root);

// After a login: the session, atomically, the login history kept as it was. False when it
// could not be written.
bool SaveSession(std::string_view data_root, const protocol::ProtocolState& state);

// The saved session; nothing when there is none or the file is not one.
std::optional<protocol::SavedSession> LoadSession(std::string_view data_root);

// A deliberate close logged the session out: the file stays for the next start, which then
// asks the phone at once instead of trying the dead tokens. Nothing when there is no file.
void MarkSessionLoggedOut(std::string_view data_root);

// Removes the file (自动重新登录 switched off: no tokens stay on the disk, and the robot
// logs in by itself no more).
void ForgetSession(std::string_view data_root);

// The login history the file keeps beside the session (none without the file).
LoginHistory LoadLoginHistory(std::string_view data_root);
// Replaces it, atomically, the session kept as it was. False when it could not be written.
bool SaveLoginHistory(std::string_view data_root, const LoginHistory& history);

// The account's 自动重新登录 setting (its mzset.ini below the run directory; on when the
// file or the key is missing).
bool AutoReloginFor(std::string_view data_root, std::string_view uin);

}  // namespace zelmo::app
