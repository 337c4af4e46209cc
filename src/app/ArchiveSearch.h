#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "store/ArchiveRecords.h"

namespace zelmo::app {

// Searches an account's archive on a thread of its own, so that a window never waits for
// the disk: a question asked while another waits replaces it, and each answer says which
// question it answers. The database is read as the command line reads it: read-only,
// beside the robot's writer, never created.
class ArchiveSearch {
public:
    // Runs on the search thread, once per question that was not replaced.
    using Answer = std::function<void(std::uint64_t serial, store::SearchPage page)>;

    explicit ArchiveSearch(Answer answer);
    // Waits for a search that runs (a fraction of a second at most), then ends the thread.
    ~ArchiveSearch();
    ArchiveSearch(const ArchiveSearch&) = delete;
    ArchiveSearch& operator=(const ArchiveSearch&) = delete;

    // Asks for one page of the database at `path`; the question's serial (rising). Any
    // thread.
    std::uint64_t Ask(std::string path, store::SearchQuery query);

private:
    struct Question {
        std::uint64_t serial = 0;
        std::string path;
        store::SearchQuery query;
    };

    void Run();

    Answer m_answer;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Question> m_waiting;
    std::uint64_t m_serial = 0;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace zelmo::app
