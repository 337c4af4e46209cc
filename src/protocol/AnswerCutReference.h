#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"

// The cuts of webwxinit and webwxsync answers converted whole to GBK: markers and a
// regular expression over the text, as the program read them before it read the UTF-8
// bytes in one pass. Kept as the reference the readers of InitAnswer.h, SyncAnswer.h and
// MessageItem.h are compared with, in tests and fuzzing.
namespace zelmo::protocol::reference {

// Reads the account's own profile, which follows the SyncKey in a webwxinit answer (GBK).
// A HeadImgUrl that is not a path (no leading "/") is taken as empty. False, with `own`
// untouched, when the answer holds no SyncKey, the User has no UserName, or its Uin is not
// 1 to 20 ASCII digits.
bool ParseOwnProfile(const ServiceProfile& profile, std::string_view fun,
                     std::string_view init_answer, OwnProfile& own);

// What webwxinit took from its answer (GBK).
struct InitCut {
    bool ret_ok = false;  // the answer holds `Ret": 0`
    bool key_ok = false;  // UpdateSyncKey took a SyncKey
    SyncKey sync_key;
    bool own_ok = false;  // ParseOwnProfile took the profile
    OwnProfile own;
};
InitCut CutInitAnswer(const ServiceProfile& profile, std::string_view fun, std::string_view answer);

// What webwxsync and the sync loop took from a webwxsync answer (GBK).
struct SyncCut {
    std::string ret;      // between `Ret": ` and ","
    bool key_ok = false;  // UpdateSyncKey took a SyncKey
    SyncKey sync_key;
    // The message jobs' texts: each match of `MsgId.*?Ticket": ".*?"` between
    // `\n"AddMsgList": ` and `"ModContactCount": `, unless AddMsgCount is "0".
    std::vector<std::string> items;
    // The first `"UserName": "` up to `",` between `\n"ModContactList": ` and
    // `"DelContactCount": `, unless ModContactCount is "0".
    std::string changed_contact;
};
SyncCut CutSyncAnswer(std::string_view answer);

// The fields the message intake cut from one message job's text (GBK).
struct MessageCut {
    std::string FromUserName;  // between `"FromUserName": "` and `",`
    std::string ToUserName;    // between `"ToUserName": "` and `",`
    std::string Content;       // the JSON string after `"Content": "`, decoded
};
MessageCut CutMessageItem(std::string_view item);

}  // namespace zelmo::protocol::reference
