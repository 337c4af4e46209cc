#include "protocol/SessionStore.h"

#include <utility>

namespace zelmo::protocol {

namespace {

bool SameSession(const Session& a, const Session& b) {
    return a.sid == b.sid && a.uin == b.uin && a.skey == b.skey;
}

}  // namespace

SessionStore::SessionStore() : m_state(std::make_shared<const ProtocolState>()) {}

std::shared_ptr<const ProtocolState> SessionStore::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void SessionStore::Publish(ProtocolState state) {
    state.session.qr_image.clear();
    state.session.qr_image.shrink_to_fit();
    state.init_answer.clear();
    state.init_answer.shrink_to_fit();
    std::lock_guard lock(m_mutex);
    state.generation = ++m_generation;
    m_state = std::make_shared<const ProtocolState>(std::move(state));
}

void SessionStore::Update(const std::function<void(ProtocolState&)>& change) {
    std::lock_guard lock(m_mutex);
    auto changed = std::make_shared<ProtocolState>(*m_state);
    change(*changed);
    m_state = std::move(changed);
}

bool SessionStore::SetSyncKey(const ProtocolState& basis, SyncKey sync_key) {
    std::lock_guard lock(m_mutex);
    if (!SameSession(basis.session, m_state->session)) {
        return false;
    }
    auto changed = std::make_shared<ProtocolState>(*m_state);
    changed->sync_key = std::move(sync_key);
    m_state = std::move(changed);
    return true;
}

}  // namespace zelmo::protocol
