#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "jobs/ThreadStarter.h"
#include "media/Download.h"
#include "media/ReceivedMedia.h"
#include "protocol/ServiceLink.h"
#include "protocol/SessionStore.h"

namespace zelmo::media {

// Told of every download that ended, on the queue's thread: saved (the path) or given up
// (the reason). Not told of downloads a stop cut short.
using DownloadReport =
    std::function<void(const ReceivedMedia& media, const DownloadOutcome& outcome)>;

struct DownloadQueueParts {
    protocol::ServiceLink link;
    const protocol::SessionStore& sessions;  // each try uses the session of the moment
    jobs::ThreadStarter start_thread;
    DownloadReport report;
};

// How the queue paces itself. The defaults suit the service; tests shorten them.
struct DownloadPacing {
    int gap_ms = 500;  // between two downloads of one kind
    int retry_first_ms = 2000;
    int retry_max_ms = 30000;
    int max_retries = 3;             // a failed download is tried again at most so often
    std::size_t max_waiting = 1000;  // per kind; beyond it the newest is refused
};

// Downloads received media in the background: one thread per kind, one download at a time
// per kind, paced; a download that failed is tried again with the back-off. A MsgId is never
// downloaded twice at once, nor again once saved. Any thread may post.
class DownloadQueue {
public:
    explicit DownloadQueue(DownloadQueueParts parts, DownloadPacing pacing = {});
    ~DownloadQueue();  // Stop()
    DownloadQueue(const DownloadQueue&) = delete;
    DownloadQueue& operator=(const DownloadQueue&) = delete;

    // Starts the threads; false when the starter refused one (the run stops).
    bool Start();
    // Queues a download; false (nothing queued) when that MsgId is queued, running or
    // saved already, when its kind's queue is full, or once stopped.
    bool Post(ReceivedMedia media, DownloadPlace place);
    // Ends the threads at once: a download in flight is aborted, waiting ones are dropped.
    // Any thread; idempotent.
    void Stop();

    // Downloads queued or running.
    std::size_t Pending() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace zelmo::media
