#include "media/DownloadQueue.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>

#include "jobs/Backoff.h"

namespace zelmo::media {

namespace {

// Saved MsgIds remembered, so news that come again are not fetched again.
constexpr std::size_t REMEMBERED_SAVES = 4096;

struct Waiting {
    ReceivedMedia media;
    DownloadPlace place;
};

}  // namespace

struct DownloadQueue::State {
    State(DownloadQueueParts p, DownloadPacing q) : parts(std::move(p)), pacing(q) {}

    DownloadQueueParts parts;
    DownloadPacing pacing;
    std::atomic<bool> stopped{false};
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::array<std::deque<Waiting>, MEDIA_KIND_COUNT> waiting;
    std::set<std::string> pending;  // queued or running
    std::set<std::string> saved;
    std::deque<std::string> saved_order;

    // Waits `ms` unless stopped meanwhile; false when stopped.
    bool Wait(int ms) {
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return stopped.load(); });
    }

    void Finish(const std::string& msg_id, bool was_saved) {
        const std::lock_guard lock(mutex);
        pending.erase(msg_id);
        if (was_saved && saved.insert(msg_id).second) {
            saved_order.push_back(msg_id);
            if (saved_order.size() > REMEMBERED_SAVES) {
                saved.erase(saved_order.front());
                saved_order.pop_front();
            }
        }
    }

    DownloadOutcome Attempts(const Waiting& item) {
        jobs::Backoff backoff(pacing.retry_first_ms, pacing.retry_max_ms);
        for (int tries = 1;; ++tries) {
            const std::shared_ptr<const protocol::ProtocolState> state = parts.sessions.Snapshot();
            DownloadOutcome outcome =
                DownloadMedia(parts.link, *state, item.media, item.place, &stopped);
            outcome.tries = tries;
            if (outcome.status != DownloadStatus::Failed || tries > pacing.max_retries ||
                !Wait(backoff.Failed())) {
                return outcome;
            }
        }
    }

    void Serve(MediaKind kind) {
        const auto index = static_cast<std::size_t>(kind);
        for (;;) {
            Waiting item;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopped.load() || !waiting[index].empty(); });
                if (stopped.load()) {
                    return;
                }
                item = std::move(waiting[index].front());
                waiting[index].pop_front();
            }
            const DownloadOutcome outcome = Attempts(item);
            Finish(item.media.MsgId, outcome.status == DownloadStatus::Saved);
            if (outcome.status == DownloadStatus::Stopped || stopped.load()) {
                return;
            }
            if (parts.report) {
                parts.report(item.media, outcome);
            }
            if (!Wait(pacing.gap_ms)) {
                return;
            }
        }
    }
};

DownloadQueue::DownloadQueue(DownloadQueueParts parts, DownloadPacing pacing)
    : m_state(std::make_shared<State>(std::move(parts), pacing)) {}

DownloadQueue::~DownloadQueue() {
    Stop();
}

bool DownloadQueue::Start() {
    for (std::size_t kind = 0; kind < MEDIA_KIND_COUNT; ++kind) {
        // The thread keeps the state alive: the queue object may go before the run joins it.
        std::shared_ptr<State> state = m_state;
        if (!m_state->parts.start_thread(
                [state, kind] { state->Serve(static_cast<MediaKind>(kind)); })) {
            Stop();
            return false;
        }
    }
    return true;
}

bool DownloadQueue::Post(ReceivedMedia media, DownloadPlace place) {
    State& state = *m_state;
    {
        const std::lock_guard lock(state.mutex);
        auto& waiting = state.waiting[static_cast<std::size_t>(media.kind)];
        if (state.stopped.load() || state.pending.contains(media.MsgId) ||
            state.saved.contains(media.MsgId) || waiting.size() >= state.pacing.max_waiting) {
            return false;
        }
        state.pending.insert(media.MsgId);
        waiting.push_back({std::move(media), std::move(place)});
    }
    state.changed.notify_all();
    return true;
}

void DownloadQueue::Stop() {
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stopped.store(true);
        for (auto& waiting : m_state->waiting) {
            for (const Waiting& dropped : waiting) {
                m_state->pending.erase(dropped.media.MsgId);
            }
            waiting.clear();
        }
    }
    m_state->changed.notify_all();
}

std::size_t DownloadQueue::Pending() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->pending.size();
}

}  // namespace zelmo::media
