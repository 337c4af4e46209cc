#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "jobs/Job.h"

namespace zelmo::jobs {

// Called with each job a full queue drops, on the posting thread, outside the queue's lock.
using DropHandler = std::function<void(const Job&)>;

// A job queue: first in, first out, bounded. Posting never blocks or fails; jobs are
// handed out in the order they were posted. A post into a full queue drops the oldest job
// and hands it to the drop handler, so nothing is lost silently. Any thread.
class JobQueue {
public:
    // Room for so many jobs waiting to be taken: far more than a robot ever has queued
    // while it keeps up, enough for the news it fetched before it went offline.
    static constexpr std::size_t DEFAULT_LIMIT = 10000;

    explicit JobQueue(std::size_t limit = DEFAULT_LIMIT, DropHandler on_drop = {});

    // Set before any post; any thread may post afterwards.
    void SetDropHandler(DropHandler on_drop);

    void Post(Job job);

    // The oldest job, waiting while the queue is empty. Nothing (the job stays queued) when
    // the queue is closed, or when `stop` is set once the wait ends. Setting `stop` alone
    // wakes nobody: a waiting worker leaves with the next post or Close().
    std::optional<Job> Take(const std::atomic<bool>& stop);
    // The oldest job if there is one; never waits. Nothing once closed.
    std::optional<Job> TryTake();

    // Wakes every waiting Take() and makes later ones return nothing at once. Jobs still
    // queued are not run.
    void Close();
    bool Closed() const;

    std::size_t Size() const;

private:
    mutable std::mutex m_lock;         // QueueLock
    std::condition_variable m_signal;  // QueueSignal
    std::deque<Job> m_jobs;
    const std::size_t m_limit;
    DropHandler m_on_drop;
    std::size_t m_waiting = 0;  // Take() calls blocked on m_signal
    bool m_closed = false;
};

// Copies the four texts into a new job and posts it.
void PostJob(JobQueue& queue, int kind, std::string text1 = {}, std::string text2 = {},
             std::string text3 = {}, std::string text4 = {});

using JobRunner = std::function<void(const Job&)>;

// A worker's loop: takes jobs one by one and runs them until `stop` is set (checked before
// every take) or the queue closes. Nothing a job throws ends the loop.
void ServeQueue(JobQueue& queue, const std::atomic<bool>& stop, const JobRunner& run);

}  // namespace zelmo::jobs
