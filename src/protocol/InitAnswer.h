#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// What the webwxinit answer (UTF-8 bytes, as the service sends it) holds for the session,
// read in one pass. Any bytes: a cut or broken answer gives what its intact part holds.
struct InitAnswer {
    std::string ret;                  // BaseResponse's Ret as written; empty when missing
    std::optional<SyncKey> sync_key;  // nothing without a SyncKey List holding entries
    // The account's "User": nothing unless it has a UserName and a Uin of 1 to 20 ASCII
    // digits. Its HeadImgUrl is made absolute on the web-client host with variant `fun`,
    // and is empty unless it was a path (a leading "/").
    std::optional<OwnProfile> own;
};
InitAnswer ReadInitAnswer(const ServiceProfile& profile, std::string_view fun,
                          std::string_view answer);

}  // namespace zelmo::protocol
