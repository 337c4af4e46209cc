#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "protocol/ConnectionState.h"

namespace zelmo::protocol {

// ConnectionState as something threads can wait on. The heartbeat sets it after every
// poll; a re-login sets it offline while it logs in again and online after. Work that
// needs the service (message intake, contact fetches, sends) waits for online instead of
// being dropped. Any thread.
class Connection {
public:
    void Set(int state);
    int State() const;
    bool Online() const { return State() == STATE_ONLINE; }

    // Moves on at every report that the service ended the session, so that what a request
    // sent before the report found cannot undo it: a poll held open across the report
    // says nothing about the session since.
    std::uint64_t Generation() const;
    // The service ended the session: offline, and the next generation.
    void ReportSessionEnd();
    // Sets the state that a request found which went out in `generation`; false (nothing
    // changed) when the generation moved on meanwhile.
    bool SetFound(std::uint64_t generation, int state);

    // Blocks while the state is not online. True once online, false once shut (at once
    // when it already is).
    bool WaitOnline() const;
    // WaitOnline with a time-out: true once online; false once shut or when `timeout` ran
    // out first. Not counted by WaitForWaiters.
    bool WaitOnlineFor(std::chrono::milliseconds timeout) const;
    // Wakes every waiter for good: the robot stops. The state stays readable.
    void Shut();
    bool IsShut() const;

    // True once at least `count` threads block in WaitOnline, false after the time-out.
    bool WaitForWaiters(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    int m_state = STATE_ONLINE;
    std::uint64_t m_generation = 0;
    bool m_shut = false;
    mutable std::size_t m_waiting = 0;
};

}  // namespace zelmo::protocol
