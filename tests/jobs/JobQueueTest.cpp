#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/JobQueue.h"

namespace zelmo::jobs {
namespace {

using namespace std::chrono_literals;

constexpr auto WAIT = 10s;
constexpr int WORKERS = 20;
constexpr int BLOCKER = 100;   // waits until its gate opens
constexpr int NUMBERED = 101;  // records texts[0] and returns
constexpr int THROWING = 102;

// What the workers did, with waits on it; the blockers' gates.
class Recorder {
public:
    void Run(const Job& job) {
        std::unique_lock lock(m_mutex);
        if (job.kind == BLOCKER) {
            ++m_blocked;
            m_changed.notify_all();
            const std::size_t gate = std::stoul(job.texts[0]);
            m_changed.wait(lock, [&] { return m_open_all || gate < m_open_gates; });
            --m_blocked;
            return;
        }
        if (job.kind == THROWING) {
            throw std::runtime_error("job failed");
        }
        m_started.push_back(job.texts[0]);
        m_changed.notify_all();
    }

    bool WaitBlocked(int count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, WAIT, [&] { return m_blocked == count; });
    }
    bool WaitStarted(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, WAIT, [&] { return m_started.size() >= count; });
    }
    // Opens the gates of the first `count` blockers (by their number).
    void OpenGates(std::size_t count) {
        std::lock_guard lock(m_mutex);
        m_open_gates = count;
        m_changed.notify_all();
    }
    void OpenAll() {
        std::lock_guard lock(m_mutex);
        m_open_all = true;
        m_changed.notify_all();
    }
    std::vector<std::string> Started() {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_blocked = 0;
    std::size_t m_open_gates = 0;
    bool m_open_all = false;
    std::vector<std::string> m_started;
};

// Worker threads serving one queue; closes the queue and joins them when it dies.
class Workers {
public:
    Workers(JobQueue& queue, const std::atomic<bool>& stop, Recorder& recorder, int count)
        : m_queue(queue) {
        for (int i = 0; i < count; ++i) {
            m_threads.emplace_back([&queue, &stop, &recorder] {
                ServeQueue(queue, stop, [&recorder](const Job& job) { recorder.Run(job); });
            });
        }
    }
    ~Workers() {
        m_queue.Close();
        Join();
    }
    void Join() {
        for (std::thread& thread : m_threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }

private:
    JobQueue& m_queue;
    std::vector<std::thread> m_threads;
};

void OccupyAllWorkers(JobQueue& queue, Recorder& recorder) {
    for (int i = 0; i < WORKERS; ++i) {
        PostJob(queue, BLOCKER, std::to_string(i));
    }
    ASSERT_TRUE(recorder.WaitBlocked(WORKERS));
}

std::vector<std::string> Numbers(int count) {
    std::vector<std::string> numbers;
    numbers.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        numbers.push_back(std::to_string(i));
    }
    return numbers;
}

TEST(IncomingQueueTest, JobsPostedWhileEveryWorkerIsBusyAreKeptAndStartInPostingOrder) {
    constexpr std::size_t LIMIT = 100;
    std::vector<std::string> dropped;  // only the posting thread writes it
    JobQueue queue(LIMIT, [&dropped](const Job& job) { dropped.push_back(job.texts[0]); });
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, WORKERS);
    OccupyAllWorkers(queue, recorder);

    for (const std::string& number : Numbers(100)) {
        PostJob(queue, NUMBERED, number);
    }
    EXPECT_EQ(queue.Size(), 100u);
    EXPECT_TRUE(recorder.Started().empty());
    EXPECT_TRUE(dropped.empty());
    // Beyond the limit the oldest give way, each handed over to say so.
    for (const char* number : {"100", "101", "102"}) {
        PostJob(queue, NUMBERED, number);
    }
    EXPECT_EQ(queue.Size(), LIMIT);
    EXPECT_EQ(dropped, (std::vector<std::string>{"0", "1", "2"}));

    // One worker comes free: it alone takes the queued jobs, so their start order is the
    // queue's hand-out order.
    recorder.OpenGates(1);
    ASSERT_TRUE(recorder.WaitStarted(LIMIT));
    std::vector<std::string> kept = Numbers(103);
    kept.erase(kept.begin(), kept.begin() + 3);
    EXPECT_EQ(recorder.Started(), kept);
    EXPECT_EQ(queue.Size(), 0u);
    recorder.OpenAll();
}

TEST(IncomingQueueTest, NoPostIsLostWithManyPostersAndSleepingWorkers) {
    constexpr std::size_t POSTERS = 4;
    constexpr std::size_t PER_POSTER = 5000;
    // Room for every post, however far the workers fall behind: this is about wake-ups.
    JobQueue queue(300 + POSTERS * PER_POSTER);
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, WORKERS);

    // One at a time: every post must wake a sleeping worker.
    for (int i = 0; i < 300; ++i) {
        PostJob(queue, NUMBERED, "single");
        ASSERT_TRUE(recorder.WaitStarted(static_cast<std::size_t>(i) + 1)) << i;
    }

    std::vector<std::thread> posters;
    posters.reserve(POSTERS);
    for (std::size_t p = 0; p < POSTERS; ++p) {
        posters.emplace_back([&queue, p] {
            for (std::size_t i = 0; i < PER_POSTER; ++i) {
                PostJob(queue, NUMBERED, std::to_string(p * PER_POSTER + i));
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(recorder.WaitStarted(300 + POSTERS * PER_POSTER));
    std::vector<int> runs(POSTERS * PER_POSTER, 0);
    for (const std::string& text : recorder.Started()) {
        if (text != "single") {
            ++runs.at(std::stoul(text));
        }
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        ASSERT_EQ(runs[i], 1) << "job " << i;
    }
}

TEST(IncomingQueueTest, AfterStopNoWorkerStartsAnotherJob) {
    JobQueue queue;
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, WORKERS);
    OccupyAllWorkers(queue, recorder);
    for (const std::string& number : Numbers(10)) {
        PostJob(queue, NUMBERED, number);
    }
    stop.store(true);
    recorder.OpenAll();
    // Every worker finishes its pass and leaves without touching the queue again.
    workers.Join();
    EXPECT_TRUE(recorder.Started().empty());
    EXPECT_EQ(queue.Size(), 10u);
}

TEST(IncomingQueueTest, AStoppedWorkerWokenByAPostLeavesTheJobQueued) {
    JobQueue queue;
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, 1);
    PostJob(queue, NUMBERED, "before");
    ASSERT_TRUE(recorder.WaitStarted(1));
    stop.store(true);
    PostJob(queue, NUMBERED, "after");
    workers.Join();
    EXPECT_EQ(recorder.Started(), std::vector<std::string>{"before"});
    EXPECT_EQ(queue.Size(), 1u);
}

TEST(IncomingQueueTest, CloseWakesIdleWorkersAndNothingIsHandedOutAfterwards) {
    JobQueue queue;
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, WORKERS);
    queue.Close();
    workers.Join();
    EXPECT_TRUE(queue.Closed());
    PostJob(queue, NUMBERED, "late");
    EXPECT_EQ(queue.Size(), 1u);
    EXPECT_FALSE(queue.TryTake().has_value());
    EXPECT_FALSE(queue.Take(stop).has_value());
    EXPECT_TRUE(recorder.Started().empty());
}

TEST(IncomingQueueTest, AFailingJobDoesNotTakeItsWorkerAway) {
    JobQueue queue;
    std::atomic<bool> stop{false};
    Recorder recorder;
    Workers workers(queue, stop, recorder, 1);
    PostJob(queue, THROWING);
    PostJob(queue, NUMBERED, "next");
    ASSERT_TRUE(recorder.WaitStarted(1));
    EXPECT_EQ(recorder.Started(), std::vector<std::string>{"next"});
}

}  // namespace
}  // namespace zelmo::jobs
