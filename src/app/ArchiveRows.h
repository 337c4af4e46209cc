#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ai/ChatTurn.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "messages/MessageEvents.h"
#include "messages/MessageLog.h"
#include "store/ArchiveRecords.h"

namespace zelmo::app {

// What the archive's rows name besides the event: the contacts' keys and names, and the own
// account (its UserName and nickname, GBK).
struct RowNames {
    const contacts::ContactKeys& keys;
    const contacts::ContactStore& contacts;
    std::string_view own_user_name;
    std::string_view own_nickname;
};

// The Content of an AddMsgList item (its bytes as the service sent them) as people read it,
// in UTF-8: JSON-decoded, "<br/>" a line break, HTML entities and the service's emoji spans
// the characters they stand for. With `cut_sender`, a group member's "<UserName>:<br/>" in
// front is cut. Any bytes: a broken item gives what its whole part holds.
std::string ReceivedText(std::string_view item, bool cut_sender);

// The archive row of a message the intake handled (UTF-8): the label of its kind ("文本",
// "[图片]", "[撤回]" ...), the chat's key and name, in a group the member's key and name,
// the service's MsgId and CreateTime (`now_ms` when it has none). The own account's
// messages from another device go out.
store::ArchiveRow ReceivedRow(const messages::ReceivedEvent& event, const RowNames& names,
                              std::int64_t now_ms);

// The archive row of a text the sender handled: sent ("ok") or why not, and who handed it
// in.
store::ArchiveRow SentRow(const messages::SentEvent& event, const RowNames& names,
                          std::int64_t now_ms);

// The MsgId a recall notice says was recalled; empty for any other message, and for a
// notice that names none.
std::string RecalledMsgId(const messages::ReceivedMessage& message);

// An archived row as a row of the message log (GBK): the log's labels, the day in front of
// the time when it is not today's (`today_ms` is any moment of today), a group member's
// name before the text, and what became of a text that was not sent or was recalled.
messages::LogRow LogRowOf(const store::ArchiveRow& row, std::string_view own_nickname,
                          std::int64_t today_ms);

// A row as a turn of the model's context (GBK): received and sent texts; nothing for other
// kinds, for texts that were not sent, and for recalled ones.
std::optional<ai::ChatTurn> ContextTurnOf(const store::ArchiveRow& row);

}  // namespace zelmo::app
