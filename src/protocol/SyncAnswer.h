#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/JsonReader.h"
#include "protocol/Session.h"

namespace zelmo::protocol {

// webwxsync answers as the service sends them (UTF-8 bytes), read in one pass. Any bytes:
// a cut or broken answer gives what its intact part holds.

// One AddMsgList item.
struct SyncItem {
    std::string text;    // the item's bytes as sent (UTF-8), "{" to "}": a message job's text
    std::string msg_id;  // its MsgId (GBK); empty when missing
};

struct SyncAnswer {
    std::string ret;  // BaseResponse's Ret as written; empty when missing
    // A well-formed SyncKey with entries came: the answer was not cut before it. Only a
    // complete answer may advance the SyncKey and have its news handed on, or a cut answer
    // would be acted on now and its news fetched and acted on again by the next sync.
    bool complete = false;
    SyncKey sync_key;                // both forms, when complete
    std::vector<SyncItem> messages;  // every AddMsgList object in order; none for a count of "0"
    // The UserName (GBK, as written) of the first changed contact of ModContactList, also
    // when more changed; empty when there is none or the count is "0".
    std::string changed_contact;
    // The UserNames (GBK, as written) of DelContactList: contacts the account no longer has.
    std::vector<std::string> deleted_contacts;
};
SyncAnswer ReadSyncAnswer(std::string_view answer);

// With the reader just past a "SyncKey" key: reads its value whole and gives both forms of
// the key its List holds (as soon as the List is closed, even if the rest is cut off).
// Nothing when the List is cut or empty or an entry lacks its Key or Val.
std::optional<SyncKey> ReadSyncKey(platform::JsonReader& reader);

}  // namespace zelmo::protocol
