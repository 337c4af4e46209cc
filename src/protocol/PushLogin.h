#pragma once

#include <string>
#include <string_view>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

struct PushStart {
    bool answered = false;  // the service answered at all (false: the network failed)
    std::string uuid;       // the login id to poll with; empty when no push is possible
};

// webwxpushloginurl: asks the phone of the session's account to confirm a new login, on
// the session's web host with its cookie jar. With a uuid the ordinary login poll follows
// (the phone confirms, no scan); without one only a QR code can log in again. Blocks.
PushStart RequestPushLogin(const ServiceLink& link, const Session& session);

// The uuid of a webwxpushloginurl answer ({"ret":"0","msg":"all ok","uuid":"…"}, blanks and
// line breaks anywhere, ret quoted or not). Empty unless ret is 0 and the uuid is 1 to 64
// characters of letters, digits, "+", "/", "=", "_" and "-" (it goes into URLs).
std::string PushLoginUuid(std::string_view answer);

// A jar ("a=1; b=2") with one pair per name: the newest value, at the place where the name
// first appeared. A push login appends the new session's cookies to the old session's,
// and the service reads the first pair of a name.
std::string NewestCookies(std::string_view jar);

}  // namespace zelmo::protocol
