#include "jobs/JobQueue.h"

#include <utility>

namespace zelmo::jobs {

JobQueue::JobQueue(std::size_t limit, DropHandler on_drop)
    : m_limit(limit == 0 ? 1 : limit), m_on_drop(std::move(on_drop)) {}

void JobQueue::SetDropHandler(DropHandler on_drop) {
    std::lock_guard lock(m_lock);
    m_on_drop = std::move(on_drop);
}

void JobQueue::Post(Job job) {
    bool wake = false;
    std::optional<Job> dropped;
    DropHandler on_drop;
    {
        std::lock_guard lock(m_lock);
        if (m_jobs.size() >= m_limit) {
            dropped = std::move(m_jobs.front());
            m_jobs.pop_front();
            on_drop = m_on_drop;
        }
        m_jobs.push_back(std::move(job));
        // Busy workers come back for the next job by themselves; only a sleeper needs the
        // signal, which spares a system call per post under load.
        wake = m_waiting > 0;
    }
    if (wake) {
        m_signal.notify_one();
    }
    if (dropped && on_drop) {
        on_drop(*dropped);
    }
}

std::optional<Job> JobQueue::Take(const std::atomic<bool>& stop) {
    std::unique_lock lock(m_lock);
    if (!m_closed && m_jobs.empty()) {
        ++m_waiting;
        m_signal.wait(lock, [this] { return m_closed || !m_jobs.empty(); });
        --m_waiting;
    }
    if (m_closed || stop.load()) {
        return std::nullopt;
    }
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    return job;
}

std::optional<Job> JobQueue::TryTake() {
    std::lock_guard lock(m_lock);
    if (m_closed || m_jobs.empty()) {
        return std::nullopt;
    }
    Job job = std::move(m_jobs.front());
    m_jobs.pop_front();
    return job;
}

void JobQueue::Close() {
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
    }
    m_signal.notify_all();
}

bool JobQueue::Closed() const {
    std::lock_guard lock(m_lock);
    return m_closed;
}

std::size_t JobQueue::Size() const {
    std::lock_guard lock(m_lock);
    return m_jobs.size();
}

void PostJob(JobQueue& queue, int kind, std::string text1, std::string text2, std::string text3,
             std::string text4) {
    queue.Post(Job{kind, {std::move(text1), std::move(text2), std::move(text3), std::move(text4)}});
}

void ServeQueue(JobQueue& queue, const std::atomic<bool>& stop, const JobRunner& run) {
    while (!stop.load()) {
        const std::optional<Job> job = queue.Take(stop);
        if (!job) {
            return;
        }
        try {
            run(*job);
        } catch (...) {
            // One job's failure must not take a worker away from the others.
        }
    }
}

}  // namespace zelmo::jobs
