#include "onebot/ActionWorkers.h"

namespace zelmo::onebot {

ActionWorkers::ActionWorkers(std::size_t threads, std::size_t capacity) : m_capacity(capacity) {
    for (std::size_t i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { Run(); });
    }
}

ActionWorkers::~ActionWorkers() {
    Stop();
}

bool ActionWorkers::Post(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_tasks.size() >= m_capacity) {
            return false;
        }
        m_tasks.push_back(std::move(task));
    }
    m_changed.notify_one();
    return true;
}

void ActionWorkers::Stop() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_tasks);
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void ActionWorkers::Run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping) {
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        try {
            task();
        } catch (...) {
            // The task's own answer is lost; the workers go on.
        }
    }
}

}  // namespace zelmo::onebot
