#include "support/FifoGate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <utility>

namespace zelmo::test {

FifoGate::FifoGate(std::string path) : m_path(std::move(path)) {
    ::unlink(m_path.c_str());
    m_made = ::mkfifo(m_path.c_str(), 0600) == 0;
}

FifoGate::~FifoGate() {
    Release();
}

bool FifoGate::WaitForReader(std::chrono::milliseconds timeout) {
    if (!m_made || m_writer >= 0) {
        return m_writer >= 0;
    }
    // Opening the writing end returns exactly when a reader has opened the other one.
    const std::string path = m_path;
    std::future<int> opened = std::async(
        std::launch::async, [path] { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC); });
    if (opened.wait_for(timeout) != std::future_status::ready) {
        // Nobody came: a reader of our own lets the open return.
        const int own_reader = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const int writer = opened.get();
        ::close(writer);
        ::close(own_reader);
        return false;
    }
    m_writer = opened.get();
    return m_writer >= 0;
}

void FifoGate::Release() {
    if (!m_made) {
        return;
    }
    m_made = false;
    // First the file later readers find, then the end of this one's bytes.
    const std::string file = m_path + ".regular";
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        ::rename(file.c_str(), m_path.c_str());
    }
    if (m_writer >= 0) {
        ::close(m_writer);
        m_writer = -1;
    }
}

}  // namespace zelmo::test
