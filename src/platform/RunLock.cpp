#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

namespace zelmo::platform {

namespace {

long ReadPid(int fd) {
    char text[32] = {};
    const ssize_t count = ::pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    if (count > 0) {
        std::from_chars(text, text + count, pid);
    }
    return pid > 0 ? pid : 0;
}

}  // namespace

RunLock::Result RunLock::Acquire(std::string_view path) {
    Result result;
    const int fd = ::open(std::string(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        result.problem = std::generic_category().message(errno);
        return result;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            result.holder_pid = ReadPid(fd);
        } else {
            result.problem = std::generic_category().message(error);
        }
        ::close(fd);
        return result;
    }
    // The pid is only for the message of a second start; the lock is what counts.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    result.lock = RunLock(fd);
    return result;
}

RunLock::RunLock(RunLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

RunLock::~RunLock() {
    // Closing the last descriptor of the open file releases the lock.
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

}  // namespace zelmo::platform
