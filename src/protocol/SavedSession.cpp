#include "protocol/SavedSession.h"

#include <algorithm>
#include <array>

#include "protocol/LoginFlow.h"

namespace zelmo::protocol {

namespace {

constexpr std::size_t MAX_FILE_BYTES = std::size_t{64} * 1024;
constexpr std::string_view HEADER = "[session]";

bool Printable(std::string_view value) {
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// One text line of the file: a field of the session or of the SyncKey.
struct Field {
    std::string_view key;
    std::string Session::*member_of_session = nullptr;
    std::string SyncKey::*member_of_key = nullptr;
};

constexpr std::array<Field, 9> FIELDS = {{
    {"uin", &Session::uin, nullptr},
    {"sid", &Session::sid, nullptr},
    {"skey", &Session::skey, nullptr},
    {"pass_ticket", &Session::pass_ticket, nullptr},
    {"fun", &Session::fun, nullptr},
    {"deviceid", &Session::deviceid, nullptr},
    {"cookies", &Session::cookies, nullptr},
    {"synckey_text", nullptr, &SyncKey::text},
    {"synckey_json", nullptr, &SyncKey::json},
}};

std::string& Slot(SavedSession& saved, const Field& field) {
    if (field.member_of_session != nullptr) {
        return saved.session.*field.member_of_session;
    }
    return saved.sync_key.*field.member_of_key;
}

const std::string& Slot(const SavedSession& saved, const Field& field) {
    if (field.member_of_session != nullptr) {
        return saved.session.*field.member_of_session;
    }
    return saved.sync_key.*field.member_of_key;
}

}  // namespace

std::string FormatSavedSession(const SavedSession& saved) {
    if (!IsUin(saved.session.uin)) {
        return {};
    }
    std::string text(HEADER);
    text += "\n";
    for (const Field& field : FIELDS) {
        const std::string& value = Slot(saved, field);
        if (!Printable(value)) {
            return {};
        }
        text.append(field.key).append("=").append(value).append("\n");
    }
    text += "login_mode=";
    text += saved.session.login_mode == LoginMode::Web ? "web" : "desktop";
    text += "\nlogged_out=";
    text += saved.logged_out ? "1" : "0";
    text += "\n";
    return text;
}

std::optional<SavedSession> ParseSavedSession(std::string_view text) {
    if (text.size() > MAX_FILE_BYTES) {
        return std::nullopt;
    }
    SavedSession saved;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (!Printable(value)) {
            return std::nullopt;
        }
        for (const Field& field : FIELDS) {
            if (key == field.key) {
                Slot(saved, field) = std::string(value);
            }
        }
        if (key == "login_mode") {
            saved.session.login_mode = value == "web" ? LoginMode::Web : LoginMode::Desktop;
        } else if (key == "logged_out") {
            saved.logged_out = value == "1";
        }
    }
    if (!IsUin(saved.session.uin) || saved.session.sid.empty() || saved.session.skey.empty()) {
        return std::nullopt;
    }
    return saved;
}

}  // namespace zelmo::protocol
