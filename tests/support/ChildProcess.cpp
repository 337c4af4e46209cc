#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

namespace zelmo::test {

namespace {

bool Overridden(std::string_view entry, const std::vector<std::string>& extra_env) {
    const std::string_view name = entry.substr(0, entry.find('=') + 1);
    for (const std::string& extra : extra_env) {
        if (std::string_view(extra).starts_with(name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& args,
                           const std::vector<std::string>& extra_env,
                           const std::string& stderr_path) {
    if (args.empty()) {
        return;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = extra_env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!Overridden(*entry, extra_env)) {
            env.emplace_back(*entry);
        }
    }
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& text : env) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    int out[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_out = out[0];
}

ChildProcess::~ChildProcess() {
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool ChildProcess::Running() const {
    return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0;
}

bool ChildProcess::Signal(int number) const {
    return m_pid > 0 && kill(m_pid, number) == 0;
}

bool ChildProcess::ReadMore(std::chrono::steady_clock::time_point deadline) {
    if (m_out < 0 || m_closed) {
        return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{m_out, POLLIN, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
        return false;
    }
    char buffer[4096];
    const ssize_t got = read(m_out, buffer, sizeof buffer);
    if (got <= 0) {
        m_closed = true;
        return false;
    }
    m_pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end = m_pending.find('\n'); end != std::string::npos;
         end = m_pending.find('\n')) {
        m_lines.push_back(m_pending.substr(0, end));
        m_pending.erase(0, end + 1);
    }
    return true;
}

std::optional<std::string> ChildProcess::WaitForLine(std::size_t* next, std::string_view text,
                                                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (*next < m_lines.size()) {
            const std::string& line = m_lines[(*next)++];
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        if (!ReadMore(deadline)) {
            return std::nullopt;
        }
    }
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (ReadMore(deadline)) {
    }
    if (!m_closed || m_pid <= 0) {
        return std::nullopt;
    }
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return status;
}

}  // namespace zelmo::test
