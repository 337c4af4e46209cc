#include "TrayHost.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

extern char** environ;

namespace zelmo::test {

namespace {

constexpr int DISPLAY_WAIT_MS = 10000;

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path == nullptr ? "/usr/bin:/bin" : path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// Starts a program with its output thrown away; it inherits every open descriptor.
pid_t Spawn(const std::string& program, std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    args.insert(args.begin(), program);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void End(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

TrayHost& TrayHost::Instance() {
    static TrayHost host;
    return host;
}

bool TrayHost::StartDisplay() {
    m_xvfb = FindProgram("Xvfb");
    m_icewm = FindProgram("icewm");
    if (m_xvfb.empty() || m_icewm.empty()) {
        m_missing = m_xvfb.empty() ? "Xvfb" : "icewm";
        return false;
    }
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        m_failure = "no pipe for Xvfb";
        return false;
    }
    // The write end reaches the child as it is: pipe() sets no close-on-exec.
    m_display_pid = Spawn(m_xvfb, {"-displayfd", std::to_string(pipe_fds[1]), "-screen", "0",
                                   "1024x768x24", "-nolisten", "tcp"});
    ::close(pipe_fds[1]);
    std::string display;
    pollfd ready{pipe_fds[0], POLLIN, 0};
    while (m_display_pid > 0 && ::poll(&ready, 1, DISPLAY_WAIT_MS) > 0) {
        char c = 0;
        if (::read(pipe_fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        display += c;
    }
    ::close(pipe_fds[0]);
    if (display.empty()) {
        End(m_display_pid);
        m_failure = "Xvfb did not report a display";
        return false;
    }
    ::setenv("DISPLAY", (":" + display).c_str(), 1);
    return true;
}

bool TrayHost::StartTray() {
    if (!Running() || m_tray_pid > 0) {
        return m_tray_pid > 0;
    }
    m_tray_pid = Spawn(m_icewm, {});
    return m_tray_pid > 0;
}

void TrayHost::StopTray() {
    End(m_tray_pid);
}

TrayHost::~TrayHost() {
    End(m_tray_pid);
    End(m_display_pid);
}

}  // namespace zelmo::test
