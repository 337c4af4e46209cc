#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/SavedSession.h"
#include "protocol/Session.h"

namespace zelmo::app {

// session.ini in the run directory: the last login's session, kept so that the next start
// resumes it without a scan. It holds tokens and cookies: mode 0600, never printed.
inline constexpr std::string_view SESSION_FILE_NAME = "session.ini";

std::string SessionFilePath(std::string_view data_root);

// After a login: the session, atomically. False when it could not be written.
bool SaveSession(std::string_view data_root, const protocol::ProtocolState& state);

// The saved session; nothing when there is none or the file is not one.
std::optional<protocol::SavedSession> LoadSession(std::string_view data_root);

// A deliberate close logged the session out: the file stays for the next start, which then
// asks the phone at once instead of trying the dead tokens. Nothing when there is no file.
void MarkSessionLoggedOut(std::string_view data_root);

// Removes the file (自动重新登录 switched off: no tokens stay on the disk).
void ForgetSession(std::string_view data_root);

// The account's 自动重新登录 setting (its mzset.ini below the run directory; on when the
// file or the key is missing).
bool AutoReloginFor(std::string_view data_root, std::string_view uin);

}  // namespace zelmo::app
