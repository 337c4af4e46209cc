#pragma once

#include <atomic>

#include "platform/ManualResetEvent.h"
#include "protocol/Session.h"

namespace zelmo::app {

// What the login threads share among themselves while a login is under way.
struct LoginRun {
    // The state the login builds. Only login threads touch it, one after the other: each
    // hand-over is a thread start or the QR-ready flag. A successful login publishes it.
    protocol::ProtocolState draft;
    // The QR fetch thread publishes the draft's image with this flag; a new cycle lowers it
    // before its fetch starts.
    std::atomic<bool> qr_ready{false};
    // The login replaces a lost session: it ends by raising `relogin_done` (with
    // `relogin_ok`) for the re-login that waits, not by running the start-up.
    std::atomic<bool> relogin{false};
    std::atomic<bool> relogin_ok{false};
    platform::ManualResetEvent relogin_done;
    // The service refused a login: the code shown since is the last one fetched by itself.
    std::atomic<bool> after_refusal{false};
    // That code expired: a new one comes only when the user asks for it.
    std::atomic<bool> waiting_for_request{false};
    // Codes that expired unscanned since the re-login's QR cycles began.
    std::atomic<int> expired_codes{0};
    // The user asked for the next code (a click on the login window's picture): a login
    // of the user's, not one the robot starts by itself.
    std::atomic<bool> user_asked{false};
    // A re-login's QR cycle did not start: the robot may log in by itself no more.
    std::atomic<bool> auto_login_stopped{false};
};

}  // namespace zelmo::app
