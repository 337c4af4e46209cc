#pragma once

// For the Qt test areas only: test_support itself never links Qt.

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace zelmo::test {

// Pumps events until the condition holds; false after the time-out.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
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
