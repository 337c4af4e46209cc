#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/Session.h"

namespace zelmo::protocol {

// What a later run needs to resume a session without a scan: the tokens and cookies, the
// host variant, the device id, the SyncKey and the login mode.
struct SavedSession {
    Session session;  // without qr_image, uuid and Delay
    SyncKey sync_key;
    // A deliberate close logged it out: the next start asks the phone instead of trying it.
    bool logged_out = false;
};

// The file's text: a [session] section of key=value lines. Empty when a value holds a
// control character (a line break would split the file) or the Uin is not a Uin.
std::string FormatSavedSession(const SavedSession& saved);

// Reads any bytes; nothing unless they hold a Uin of digits, a sid and an skey. Values
// holding control characters, and files above 64 KB, count as nothing.
std::optional<SavedSession> ParseSavedSession(std::string_view text);

}  // namespace zelmo::protocol
