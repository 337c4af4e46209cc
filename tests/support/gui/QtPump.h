#pragma once

// For the Qt test areas only: test_support itself never links Qt.

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace zelmo::test {

// Pumps events until the condition holds; false after the time-out, which is far above
// what any condition needs, so a loaded machine (two busy cores, a sanitizer build) never
// fails a test that would pass.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace zelmo::test
