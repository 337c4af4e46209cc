#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zelmo::onebot {

// A few threads that run the actions the transports receive, so the I/O thread never
// waits on the robot. Any thread.
class ActionWorkers {
public:
    ActionWorkers(std::size_t threads, std::size_t capacity);
    // Stops: what is queued is dropped, the tasks running are waited for.
    ~ActionWorkers();
    ActionWorkers(const ActionWorkers&) = delete;
    ActionWorkers& operator=(const ActionWorkers&) = delete;

    // False (not queued) when full or stopped.
    bool Post(std::function<void()> task);
    void Stop();

private:
    void Run();

    std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace zelmo::onebot
