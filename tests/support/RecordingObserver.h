#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "messages/MessageEvents.h"

namespace zelmo::test {

// Keeps a copy of what the robot tells its message observers.
class RecordingObserver : public messages::MessageObserver {
public:
    struct Received {
        std::string msg_id;
        std::string text;
        int chat_type = 0;
        std::string chat;
        std::string sender;
        bool own = false;
    };
    struct Sent {
        std::string to;
        std::string text;
        messages::SendOrigin origin = messages::SendOrigin::Reply;
        bool sent = false;
        std::string reason;
        std::string msg_id;
        std::string local_id;
        std::string file;
    };

    void OnReceived(const messages::ReceivedEvent& event) override {
        std::lock_guard lock(m_mutex);
        m_received.push_back({event.message.MsgId, std::string(event.text), event.chat_type,
                              std::string(event.chat), std::string(event.sender), event.own});
    }
    void OnSent(const messages::SentEvent& event) override {
        std::lock_guard lock(m_mutex);
        m_sent.push_back({std::string(event.to), std::string(event.text), event.origin, event.sent,
                          std::string(event.reason), std::string(event.msg_id),
                          std::string(event.local_id), std::string(event.file)});
    }

    std::vector<Received> ReceivedEvents() const {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    std::vector<Sent> SentEvents() const {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Received> m_received;
    std::vector<Sent> m_sent;
};

}  // namespace zelmo::test
