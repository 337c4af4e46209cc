#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/ServiceLink.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

struct SyncCheckAnswer {
    bool ok = false;  // false for an empty answer
    std::string retcode;
    std::string selector;
};

// One synccheck long poll on the push host (held by the service up to 30 s).
SyncCheckAnswer SyncCheck(const ServiceLink& link, const ProtocolState& state);

// One webwxsync; on "Ret" 0 advances the state's SyncKey and returns true. `answer` gets
// the GBK answer either way. On failure the SyncKey is kept, so the same news come again.
bool WebSync(const ServiceLink& link, ProtocolState& state, std::string& answer);

// What a webwxsync answer brings that the robot acts on.
struct SyncNews {
    std::vector<std::string> messages;  // every AddMsgList item, raw, in answer order
    std::string changed_contact;        // the first ModContactList UserName; empty: none
};

// Reads the news of a webwxsync answer (GBK). Other lists are not read.
SyncNews ReadSyncNews(std::string_view answer);

// webwxlogout; the answer is ignored.
void SendLogout(const ServiceLink& link, const ProtocolState& state);

}  // namespace zelmo::protocol
