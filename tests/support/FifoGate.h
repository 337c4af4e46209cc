#pragma once

#include <chrono>
#include <string>

namespace zelmo::test {

// A named pipe in place of a file the robot reads (uin.ini, say): the thread that opens it
// blocks until the test lets it go, so a worker can be held at a known point of its job
// without any hook in the program. Released, it reads an empty file, and later reads find
// an empty regular file in the pipe's place.
class FifoGate {
public:
    explicit FifoGate(std::string path);
    ~FifoGate();  // releases
    FifoGate(const FifoGate&) = delete;
    FifoGate& operator=(const FifoGate&) = delete;

    bool Made() const { return m_made; }
    // True once a reader has opened the pipe (and now waits for its bytes); false after the
    // time-out.
    bool WaitForReader(std::chrono::milliseconds timeout);
    // Lets the reader go on.
    void Release();

private:
    std::string m_path;
    bool m_made = false;
    int m_writer = -1;
};

}  // namespace zelmo::test
