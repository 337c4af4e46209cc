#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "messages/Job.h"

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

// The robot's one job queue: first in, first out, unbounded. Posting never blocks or
// fails; jobs are started in the order they were posted. Any thread.
class IncomingQueue {
public:
    void Post(Job job);

    // The oldest job, waiting while the queue is empty. Nothing (the job stays queued) when
    // the queue is closed, or when `stop` is set once the wait ends.
    std::optional<Job> Take(const std::atomic<bool>& stop);

    // Wakes every waiting Take() and makes later ones return nothing at once. Jobs still
    // queued are not run.
    void Close();
    bool Closed() const;

    std::size_t Size() const;

private:
    mutable std::mutex m_lock;         // QueueLock
    std::condition_variable m_signal;  // QueueSignal
    std::deque<Job> m_jobs;
    bool m_closed = false;
};

// Copies the four texts into a new job and posts it.
void PostJob(IncomingQueue& queue, int kind, std::string text1 = {}, std::string text2 = {},
             std::string text3 = {}, std::string text4 = {});

// Thread body of the 20 queue workers: runs jobs until HeartbeatStop is set or the queue
// closes.
void QueueWorker(app::Robot& robot);

// Runs one job by its kind; other kinds are dropped.
void RunJob(app::Robot& robot, const Job& job);

}  // namespace zelmo::messages
