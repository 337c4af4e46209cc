#pragma once

namespace zelmo::app {

// How a run ends, for whoever started it (a supervisor restarts only on EXIT_LOGIN_FAILED).
// 0 only after a requested stop: the window closed, SIGINT or SIGTERM.
inline constexpr int EXIT_STOPPED = 0;
// No QR code could be fetched, or a re-login gave up (bounded attempts or no scan in time).
inline constexpr int EXIT_LOGIN_FAILED = 1;
// The command line is wrong, or the desktop program has no display.
inline constexpr int EXIT_USAGE = 2;
// --service names an unusable file, or the data folder or the account folder cannot be
// written.
inline constexpr int EXIT_CONFIGURATION = 3;
// Another robot runs on the same data folder.
inline constexpr int EXIT_ALREADY_RUNNING = 4;
// The service refused the login (headless; the desktop program offers a new QR code).
inline constexpr int EXIT_LOGIN_REFUSED = 5;

}  // namespace zelmo::app
