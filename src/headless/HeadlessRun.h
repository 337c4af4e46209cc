#pragma once

#include <chrono>

namespace zelmo::app {
class Robot;
}

namespace zelmo::headless {

class HeadlessScreen;

// How long a stop waits for the logout before it aborts it: the whole stop stays within
// two seconds even when the service does not answer.
inline constexpr std::chrono::milliseconds LOGOUT_WAIT{1500};

// A stop signal: HeartbeatStop, one logout (unless the session never started or the
// service already ended it, which sent its own) that marks the saved session logged out,
// then every robot thread stops and is joined. Only then is the unsaved knowledge base saved (as
// the question's answer says), so a pair learned while the logout was out is kept too. Main thread.
void StopRobot(app::Robot& robot, HeadlessScreen& screen);

// SIGHUP: the settings, the knowledge base and the plugins read again from the account's
// files, once the start-up has finished. Unsaved learned pairs are carried into the
// knowledge base read again, still unsaved; a settings file that cannot be read or was cut
// off while written leaves the settings in force, and a line says why. Main thread.
void ReloadFiles(app::Robot& robot, HeadlessScreen& screen);

}  // namespace zelmo::headless
