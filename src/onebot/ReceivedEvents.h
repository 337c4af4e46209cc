#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/ContactStore.h"
#include "onebot/ContactIds.h"
#include "onebot/Events.h"
#include "onebot/MessageMemory.h"
#include "platform/Json.h"

namespace zelmo::onebot {

// What the events of a received message are made with.
struct ItemContext {
    std::string own_user_name;  // this login's
    std::string own_nickname;   // GBK
    const contacts::ContactStore& contacts;
    const ContactIds& ids;
    double now_s = 0;  // for items without a time of their own
};

struct ItemEvents {
    std::vector<platform::Json> events;
    // A message a later reply or recall may name.
    std::optional<RememberedMessage> message;
    // The UserName of a friend the service's notice says was added; the caller tells it
    // once, as the contact list's change may tell it too.
    std::string friend_added;
    // The id a message's picture, voice, video or file segment gives its file; empty when
    // it has none.
    std::string file_id;
};

// The events of one AddMsgList item, its bytes as the service sent them: message.private /
// message.group (segments and alt_message), recalls, group member notices,
// request.wx.friend_request, and (as friend_added) a friend added. None for the own account's
// messages and for status notices; any bytes give something bounded (a cut item what its whole part
// holds).
ItemEvents EventsOfItem(std::string_view item, const ItemContext& context, EventMaker& maker);

// notice.friend_increase / friend_decrease for a contact the service reports added or
// deleted.
platform::Json FriendChangeEvent(EventMaker& maker, double time_s, std::string_view self_id,
                                 std::string_view user_id, bool added);

}  // namespace zelmo::onebot
