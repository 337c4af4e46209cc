#pragma once

#include <chrono>

namespace zelmo::app {

class Robot;

// The five start-up steps after a login, in their order, shown as "[1/5]".."[5/5]" in the
// status popup; returns once the heartbeat runs. Runs on a robot thread (the login poll
// thread): the windows stay responsive while the main window waits for it.
void RunStartup(Robot& robot);

// The start-up's steps that talk to a newly logged-in session, also run after a re-login:
// the contacts of the login's init answer, the contact list (its contacts get their keys),
// the status notice, one webwxsync, then the lists are shown. At start that sync's news
// are dropped (only its SyncKey counts) and a failed one is tried again, backing off, until
// it succeeds or the service ended the session, so the heartbeat never gets that history;
// after a re-login they are handed on, less what was handled already.
// After a re-login the mass-send window's candidates stay as they are, with the user's
// ticks (its 刷新 button reads the contacts anew).
enum class SessionStepsAfter { Start, Relogin };
void RunSessionSteps(Robot& robot, SessionStepsAfter after);

// Saves the published session in session.ini when 自动重新登录 is on (once the settings
// are loaded), removes that file when it is off.
void KeepSession(Robot& robot);

// The close request of the main window: holds the intake, asks to save an unsaved
// knowledge base, then asks to quit. On Yes: HeartbeatStop, logout (the saved session
// marked logged out), fade-out, true. On No the intake goes on, and false. UI thread.
bool ConfirmClose(Robot& robot);

// How long a stop by signal waits for the logout before it ends anyway.
inline constexpr std::chrono::milliseconds STOP_LOGOUT_WAIT{1500};

// SIGINT or SIGTERM on the desktop: a deliberate close without questions. HeartbeatStop,
// a logged-in session logged out (and marked so), and the program ends with EXIT_STOPPED;
// the unsaved knowledge base is saved once the workers have stopped (SaveAtEnd). UI thread.
void StopOnSignal(Robot& robot);

}  // namespace zelmo::app
