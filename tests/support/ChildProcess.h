#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo::test {

// A program run as a child with its standard output read line by line; killed and
// reaped when the object dies.
class ChildProcess {
public:
    // `extra_env` entries ("NAME=value") replace the inherited ones of the same name;
    // standard error goes to `stderr_path`.
    ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
                 const std::string& stderr_path = "/dev/null");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    bool Running() const;
    bool Signal(int number) const;

    // Whole lines printed so far, in order.
    const std::vector<std::string>& Lines() const { return m_lines; }
    // Adds what arrives before the deadline to the lines; false when nothing more will.
    bool ReadMore(std::chrono::steady_clock::time_point deadline);
    // The first line from `*next` on that contains `text` (`*next` moves past it);
    // nothing on time-out or when the output closed.
    std::optional<std::string> WaitForLine(std::size_t* next, std::string_view text,
                                           std::chrono::milliseconds timeout);

    // Reads the output to its end (the exit closes it), then reaps the child. Its wait
    // status; nothing when the output stayed open past the time-out.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    int m_out = -1;
    bool m_closed = false;
    std::string m_pending;
    std::vector<std::string> m_lines;
};

}  // namespace zelmo::test
