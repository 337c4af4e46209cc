#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "protocol/Session.h"

namespace zelmo::protocol {

// The logged-in session as every thread reads it. A (re-)login replaces it while other
// threads run, so readers take a snapshot that never changes under them, and every change
// swaps in a whole new one. Any thread.
class SessionStore {
public:
    SessionStore();

    // The state as it is now (an empty one before the first login); never null.
    std::shared_ptr<const ProtocolState> Snapshot() const;

    // Replaces the whole state (a login) and gives it the next generation. The QR image and
    // the init answer stay with the login: no reader needs them, and every SyncKey update
    // would copy them.
    void Publish(ProtocolState state);

    // Publishes a changed copy of the current state.
    void Update(const std::function<void(ProtocolState&)>& change);

    // Replaces the SyncKey, unless a login replaced the session since `basis` was read: a
    // key of the old session must not go with the new one. False then.
    bool SetSyncKey(const ProtocolState& basis, SyncKey sync_key);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const ProtocolState> m_state;
    std::uint64_t m_generation = 0;
};

}  // namespace zelmo::protocol
