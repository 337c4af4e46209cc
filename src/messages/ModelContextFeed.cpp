#include "messages/ModelContextFeed.h"

#include <string>

#include "platform/GbkText.h"
#include "protocol/ChatMessage.h"
#include "protocol/TextHelpers.h"

namespace zelmo::messages {

namespace {

// A received text as people read it: the service's "<br/>" and entities undone.
std::string ReadableText(std::string_view text) {
    // Most texts have neither: no copies to look for them.
    if (text.find_first_of("<&") == std::string_view::npos) {
        return std::string(text);
    }
    return protocol::DecodeHtmlEntities(platform::ReplaceAllGbk(text, "<br/>", "\n"));
}

}  // namespace

bool ModelContextFeed::On() const {
    return m_settings.Get()->ai.启用;
}

void ModelContextFeed::OnReceived(const ReceivedEvent& event) {
    // Notices, recalls and requests are no part of a conversation.
    if (event.classified.answering != Answering::Chain || !On() ||
        m_contacts.FindKind(event.chat) == contacts::KIND_PUBLIC) {
        return;
    }
    std::string text = ReadableText(event.text);
    if (text.empty()) {
        return;
    }
    std::string speaker;
    if (event.chat_type == protocol::CHAT_GROUP && !event.own) {
        speaker = m_contacts.MemberName(event.chat, event.sender);
    }
    m_context.Add(event.chat,
                  {event.message.MsgId, event.own, std::move(speaker), std::move(text)});
}

void ModelContextFeed::OnSent(const SentEvent& event) {
    if (!event.sent || event.origin == SendOrigin::Model || event.text.empty() || !On()) {
        return;
    }
    m_context.Add(
        event.to,
        {std::string(event.msg_id), true, {}, platform::ReplaceAllGbk(event.text, "\r\n", "\n")});
}

void ModelContextFeed::Answered(std::string_view chat, std::string_view text) {
    m_context.Add(chat, {{}, true, {}, std::string(text)});
}

}  // namespace zelmo::messages
