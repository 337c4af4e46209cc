#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/RunOptions.h"
#include "app/UiPort.h"
#include "platform/Clock.h"
#include "platform/ManualResetEvent.h"
#include "platform/WebClient.h"
#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"

namespace zelmo::app {

// The process-wide state of one run. Owns the threads it starts and joins them when it
// dies, so a test can build a robot against a simulator and tear it down at once.
class Robot {
public:
    Robot(RunOptions options, platform::Clock& clock, UiPort& screen);
    ~Robot();
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;

    const RunOptions& Options() const { return m_options; }
    const protocol::ServiceProfile& Profile() const { return m_profile; }
    const platform::WebClient& Web() const { return m_web; }
    platform::Clock& Clock() const { return m_clock; }
    UiPort& Screen() const { return m_screen; }

    // Written by the login threads; each hand-over to another thread is a thread start, a
    // join or the QR-ready flag below.
    protocol::ProtocolState& State() { return m_state; }

    // The QR fetch thread publishes the session's image with this flag; a new login cycle
    // lowers it before its fetch starts.
    void SetQrReady(bool ready) { m_qr_ready.store(ready, std::memory_order_release); }
    bool QrReady() const { return m_qr_ready.load(std::memory_order_acquire); }

    // Runs `body` on a new thread owned by the robot; nothing it throws escapes. False
    // (and nothing started) once the robot is stopping.
    bool StartThread(std::function<void()> body);

    // Wakes every wait and aborts requests in flight. Any thread; idempotent.
    void Stop();
    bool Stopping() const { return m_stop.IsSet(); }
    const platform::ManualResetEvent& StopEvent() const { return m_stop; }

    // Stops and joins every thread the robot started. Not from one of those threads.
    void Shutdown();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    RunOptions m_options;
    protocol::ServiceProfile m_profile;
    platform::WebClient m_web;
    platform::Clock& m_clock;
    UiPort& m_screen;
    protocol::ProtocolState m_state;
    std::atomic<bool> m_qr_ready{false};
    platform::ManualResetEvent m_stop;

    std::mutex m_workers_mutex;
    std::vector<Worker> m_workers;
};

}  // namespace zelmo::app
