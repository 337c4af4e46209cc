#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "messages/Classification.h"
#include "messages/ReceivedMessage.h"
#include "protocol/ChatMessage.h"

namespace zelmo::messages {

// A message the intake has handled (its reply, if any, is on its way to the sender).
struct ReceivedEvent {
    std::string_view item;           // the AddMsgList item as the service sent it (UTF-8)
    const ReceivedMessage& message;  // its fields (GBK)
    const Classified& classified;    // its label, and which reply sources it may reach
    std::string_view text;           // what the log shows (GBK): a group member's prefix cut
    int chat_type = protocol::CHAT_FRIEND;
    // The chat: the partner's or the group's UserName (for the own account's messages from
    // another device, the partner).
    std::string_view chat;
    // Who wrote it: the group member's UserName, the partner's, or the own one.
    std::string_view sender;
    bool own = false;  // written by the own account on another device
};

// Who handed a text to the sender.
enum class SendOrigin : std::uint8_t { Reply, Model, Chat, Mass, Plugin, OneBot };

// What became of one text (or file) the sender handled: sent, refused, or dropped before a
// try.
struct SentEvent {
    std::string_view to;    // the UserName it went (or was to go) to
    std::string_view text;  // as it went out (GBK, expanded)
    SendOrigin origin = SendOrigin::Reply;
    std::string_view model;  // the language model that wrote it (SendOrigin::Model)
    bool sent = false;
    std::string_view reason;    // why it was not sent (GBK); empty when sent
    std::string_view msg_id;    // the service's MsgID of a sent text
    std::string_view local_id;  // its LocalID (and ClientMsgId)
    // A picture, video or file: its path (file-system bytes); `text` then names it as
    // "[图片=NAME]", "[视频=NAME]" or "[文件=NAME]". Empty for a text.
    std::string_view file;
};

// Told of every message received and every text sent: the archive, the OneBot events, the
// media downloads and the model's context hang here. Calls must not block.
class MessageObserver {
public:
    virtual ~MessageObserver() = default;
    // On the queue worker that handled the message.
    virtual void OnReceived(const ReceivedEvent& event) = 0;
    // On the sender thread, once per text.
    virtual void OnSent(const SentEvent& event) = 0;
};

// The observers of one robot: added by the composition root before any thread starts,
// only read afterwards. Nothing an observer throws escapes.
class MessageObservers {
public:
    void Add(MessageObserver& observer);
    void Received(const ReceivedEvent& event) const;
    void Sent(const SentEvent& event) const;

private:
    std::vector<MessageObserver*> m_observers;
};

}  // namespace zelmo::messages
