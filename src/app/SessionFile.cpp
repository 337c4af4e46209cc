#include "app/SessionFile.h"

#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "platform/Files.h"
#include "platform/PrivateFile.h"

namespace zelmo::app {

std::string SessionFilePath(std::string_view data_root) {
    return std::string(data_root) + "/" + std::string(SESSION_FILE_NAME);
}

namespace {

std::string ReadSessionFile(std::string_view data_root) {
    std::string text;
    if (!platform::TryReadFile(SessionFilePath(data_root), text)) {
        text.clear();
    }
    return text;
}

// Both parts of the file; a history of no account is left out.
bool WriteSessionFile(std::string_view data_root, const std::string& session_text,
                      const LoginHistory& history) {
    std::string text = session_text;
    if (!history.uin.empty()) {
        text += FormatLoginHistory(history);
    }
    return !text.empty() && platform::WritePrivateFileAtomic(SessionFilePath(data_root), text);
}

}  // namespace

bool SaveSession(std::string_view data_root, const protocol::ProtocolState& state) {
    protocol::SavedSession saved;
    saved.session = state.session;
    saved.session.qr_image.clear();
    saved.session.uuid.clear();
    saved.session.Delay.clear();
    saved.sync_key = state.sync_key;
    const std::string text = protocol::FormatSavedSession(saved);
    return !text.empty() && WriteSessionFile(data_root, text, LoadLoginHistory(data_root));
}

std::optional<protocol::SavedSession> LoadSession(std::string_view data_root) {
    std::string text;
    if (!platform::TryReadFile(SessionFilePath(data_root), text)) {
        return std::nullopt;
    }
    return protocol::ParseSavedSession(text);
}

void MarkSessionLoggedOut(std::string_view data_root) {
    std::optional<protocol::SavedSession> saved = LoadSession(data_root);
    if (!saved || saved->logged_out) {
        return;
    }
    saved->logged_out = true;
    const std::string text = protocol::FormatSavedSession(*saved);
    if (!text.empty()) {
        WriteSessionFile(data_root, text, LoadLoginHistory(data_root));
    }
}

LoginHistory LoadLoginHistory(std::string_view data_root) {
    return ParseLoginHistory(ReadSessionFile(data_root));
}

bool SaveLoginHistory(std::string_view data_root, const LoginHistory& history) {
    const std::optional<protocol::SavedSession> saved = LoadSession(data_root);
    return WriteSessionFile(data_root, saved ? protocol::FormatSavedSession(*saved) : std::string(),
                            history);
}

void ForgetSession(std::string_view data_root) {
    platform::DeleteFile(SessionFilePath(data_root));
}

bool AutoReloginFor(std::string_view data_root, std::string_view uin) {
    const std::string settings =
        config::ConfigPath(config::AccountDirFor(data_root, uin), config::SETTINGS_FILE);
    return config::LoadSettings(settings).自动重新登录;
}

}  // namespace zelmo::app
