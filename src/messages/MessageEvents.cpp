#include "messages/MessageEvents.h"

namespace zelmo::messages {

void MessageObservers::Add(MessageObserver& observer) {
    m_observers.push_back(&observer);
}

void MessageObservers::Received(const ReceivedEvent& event) const {
    for (MessageObserver* observer : m_observers) {
        try {
            observer->OnReceived(event);
        } catch (...) {
            // An observer's trouble is its own: the message is handled all the same.
        }
    }
}

void MessageObservers::Sent(const SentEvent& event) const {
    for (MessageObserver* observer : m_observers) {
        try {
            observer->OnSent(event);
        } catch (...) {
            // As above: the send has happened whatever an observer makes of it.
        }
    }
}

}  // namespace zelmo::messages
