#pragma once

#include <string_view>

#include "ai/ChatContext.h"
#include "config/SettingsStore.h"
#include "contacts/ContactStore.h"
#include "messages/MessageEvents.h"

namespace zelmo::messages {

// Keeps the model's memory of each chat while [AI回复] is on: the texts people write, the
// own account's from another device, and every text the robot sends. With the source off
// it only reads the switch.
class ModelContextFeed final : public MessageObserver {
public:
    ModelContextFeed(ai::MemoryContext& context, const config::SettingsStore& settings,
                     const contacts::ContactStore& contacts)
        : m_context(context), m_settings(settings), m_contacts(contacts) {}

    void OnReceived(const ReceivedEvent& event) override;
    // The model's own answers come through Answered instead.
    void OnSent(const SentEvent& event) override;

    // A model's answer to the chat, at once: the chat's next question may be asked before
    // the paced sender has sent it. Any thread.
    void Answered(std::string_view chat, std::string_view text);

private:
    bool On() const;

    ai::MemoryContext& m_context;
    const config::SettingsStore& m_settings;
    const contacts::ContactStore& m_contacts;
};

}  // namespace zelmo::messages
