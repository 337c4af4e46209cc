#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/LoginMode.h"

namespace zelmo::protocol {

// The device id every login sends: the same for every installation.
inline constexpr std::string_view DEVICE_ID = "e402715839261573";

// The login's result that every later request reads; built by the login threads, then
// read by every thread through SessionStore snapshots.
struct Session {
    std::string qr_image;     // bytes of the current cycle's QR-code image
    std::string uuid;         // login-cycle id
    std::string Delay;        // decimal milliseconds the redirect request took
    std::string pass_ticket;  // as the service sent it (URL-encoded)
    std::string skey;         // without any "@"
    std::string sid;
    std::string uin;       // decimal digits
    std::string fun;       // web-client host variant, possibly empty
    std::string deviceid;  // DEVICE_ID once logged in
    std::string cookies;   // name=value pairs joined by "; "
    // The mode of the cycle that logs in (or logged in); a push login keeps it.
    LoginMode login_mode = LoginMode::Desktop;
};

// The account's own profile from the webwxinit answer (GBK texts).
struct OwnProfile {
    std::string Uin;
    std::string Sex;  // "男" or "女"
    std::string NickName;
    std::string UserName;
    std::string Signature;
    std::string HeadImgUrl;  // absolute, on the web-client host with variant
};

// The current SyncKey in both forms, always replaced together.
struct SyncKey {
    std::string text;  // "1_A%7C2_B", for synccheck URLs
    std::string json;  // {"Count":2,"List":[...]}, for webwxsync bodies
};

// All protocol state the login produces.
struct ProtocolState {
    // One per published login, counting from 1 (SessionStore); 0 before the first.
    std::uint64_t generation = 0;
    Session session;
    // The whole webwxinit answer as the service sent it (UTF-8). Only the login's own copy
    // holds it (the start-up reads the contacts from it); published snapshots leave it empty.
    std::string init_answer;
    SyncKey sync_key;
    OwnProfile own;
};

}  // namespace zelmo::protocol
