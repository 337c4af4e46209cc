#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"
#include "protocol/SyncAnswer.h"

namespace zelmo::protocol {

struct SyncCheckAnswer {
    bool ok = false;  // false for an empty answer
    std::string retcode;
    std::string selector;
};

// One synccheck long poll on the push host (held by the service up to 30 s).
SyncCheckAnswer SyncCheck(const ServiceLink& link, const ProtocolState& state);

// One webwxsync, its answer read in one pass into `answer`. True only for a complete answer
// ("Ret" 0 and a whole SyncKey), whose key then replaces the state's. Otherwise the SyncKey
// is kept, so the same news come again, and the answer must not be acted on: a cut answer
// would have them handled twice.
bool WebSync(const ServiceLink& link, ProtocolState& state, SyncAnswer& answer);

// webwxlogout; the answer is ignored.
void SendLogout(const ServiceLink& link, const ProtocolState& state);

}  // namespace zelmo::protocol
