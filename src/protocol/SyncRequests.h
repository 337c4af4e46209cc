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

// One webwxsync. True only for a complete answer ("Ret" 0 and a whole SyncKey), whose key
// then replaces the state's. `answer` gets the GBK answer either way. Otherwise the SyncKey
// is kept, so the same news come again, and the answer must not be acted on: a cut answer
// would have them handled twice.
bool WebSync(const ServiceLink& link, ProtocolState& state, std::string& answer);

// True when the answer's SyncKey is whole: its "Count" equals the entries of its list,
// and both the list and the object are closed.
bool SyncKeyComplete(std::string_view answer);

// The MsgId of one raw AddMsgList item; empty when it has none.
std::string MessageIdOf(std::string_view item);

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
