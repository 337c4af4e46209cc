#include "app/SessionFile.h"

#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "platform/Files.h"
#include "platform/PrivateFile.h"

namespace zelmo::app {

std::string SessionFilePath(std::string_view data_root) {
    return std::string(data_root) + "/" + std::string(SESSION_FILE_NAME);
}

bool SaveSession(std::string_view data_root, const protocol::ProtocolState& state) {
    protocol::SavedSession saved;
    saved.session = state.session;
    saved.session.qr_image.clear();
    saved.session.uuid.clear();
    saved.session.Delay.clear();
    saved.sync_key = state.sync_key;
    const std::string text = protocol::FormatSavedSession(saved);
    return !text.empty() && platform::WritePrivateFileAtomic(SessionFilePath(data_root), text);
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
        platform::WritePrivateFileAtomic(SessionFilePath(data_root), text);
    }
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
