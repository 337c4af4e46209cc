#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/WebClient.h"
#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// What every login exchange talks through.
struct ServiceLink {
    const platform::WebClient& web;
    const ServiceProfile& profile;
    platform::Clock& clock;
};

// Up to 10 attempts (home page, jslogin, QR image) until an image arrives. Replaces the
// session's cookies and uuid on the way and leaves the image in qr_image (empty when every
// attempt failed).
void FetchQrCode(const ServiceLink& link, Session& session);

struct PollAnswer {
    std::string code;    // the text after "window.code=" up to ";"; empty when missing
    std::string answer;  // the whole answer, which CompleteLogin reads
};

// One long poll of the login state (the service holds it up to 30 s).
PollAnswer PollLogin(const ServiceLink& link, const Session& session);

// Sends status reports 1 and 2; their answers are ignored.
void ReportScan(const ServiceLink& link, const Session& session);

// Follows the redirect of a "200" poll answer and stores the credentials. On failure only
// the cookies already received and Delay have changed.
bool CompleteLogin(const ServiceLink& link, std::string_view poll_answer, Session& session);

// webwxinit: on success takes the SyncKey and the own profile from the answer. The answer
// is kept in init_answer either way.
bool InitSession(const ServiceLink& link, ProtocolState& state);

// Reads the account's own profile, which follows the SyncKey in a webwxinit answer (GBK).
// Leaves `own` untouched when the answer holds no SyncKey.
void ParseOwnProfile(const ServiceProfile& profile, std::string_view fun,
                     std::string_view init_answer, OwnProfile& own);

}  // namespace zelmo::protocol
