#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelmo::platform {

// An advisory lock on a file, held while the object lives; the kernel releases it when the
// process ends in any way, kill -9 included. The file holds the holder's pid.
class RunLock {
public:
    struct Result;
    // Takes the lock without waiting.
    static Result Acquire(std::string_view path);

    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock();

private:
    explicit RunLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

struct RunLock::Result {
    std::optional<RunLock> lock;  // set when taken
    long holder_pid = 0;          // when another process holds it: its pid (0 if unknown)
    std::string problem;          // when the file could not be opened: the system's reason
};

}  // namespace zelmo::platform
