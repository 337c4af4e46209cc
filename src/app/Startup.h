#pragma once

namespace zelmo::app {

class Robot;

// The five start-up steps after a login, in their order, shown as "[1/5]".."[5/5]" in the
// status popup; returns once the heartbeat runs. Runs on a robot thread (the login poll
// thread): the windows stay responsive while the main window waits for it.
void RunStartup(Robot& robot);

// The close request of the main window: asks to save an unsaved knowledge base, then asks
// to quit. On Yes: HeartbeatStop, logout, fade-out, true. UI thread.
bool ConfirmClose(Robot& robot);

}  // namespace zelmo::app
