#pragma once

#include <cstdint>
#include <mutex>

namespace zelmo::app {

// A session the service ends within this time of its login, before any message was
// received or sent on it, "ended right after the login".
inline constexpr std::int64_t RIGHT_AFTER_LOGIN_MS = 30000;

// What the robot knows of the current session's life: when it was logged in and whether a
// message was received or a text taken on it. Sessions are told apart by their generation
// (ProtocolState). Any thread.
class SessionWatch {
public:
    // A login published the session of `generation` at `tick_ms` (monotonic).
    void LoggedIn(std::uint64_t generation, std::int64_t tick_ms);
    // A message came, or a text was taken, on the session of `generation`.
    void Active(std::uint64_t generation);
    // The service ended the session of `generation` at `tick_ms`: true when that was right
    // after its login.
    bool EndedRightAfterLogin(std::uint64_t generation, std::int64_t tick_ms) const;
    // True once per session, the first time it is asked after the session outlived the
    // time right after its login or had a message: it proved to be no such session.
    bool TakeProved(std::uint64_t generation, std::int64_t tick_ms);

private:
    mutable std::mutex m_mutex;
    std::uint64_t m_generation = 0;
    std::int64_t m_login_tick_ms = 0;
    bool m_active = false;
    bool m_proved_told = false;
};

}  // namespace zelmo::app
