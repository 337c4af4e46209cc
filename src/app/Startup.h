#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {

class Robot;

// Number of queue workers the start-up starts.
inline constexpr int QUEUE_WORKERS = 20;

// The account's data folder: the data root, "/" and the account's Uin.
std::string AccountDirFor(std::string_view data_root, std::string_view uin);

// The five start-up steps after a login, in their order, shown as "[1/5]".."[5/5]" in the
// status popup; returns once the heartbeat runs. Runs on a robot thread (the login poll
// thread): the windows stay responsive while the main window waits for it.
void RunStartup(Robot& robot);

// The close request of the main window: asks to save an unsaved knowledge base, then asks
// to quit. On Yes: HeartbeatStop, logout, fade-out, true. UI thread.
bool ConfirmClose(Robot& robot);

// webwxlogout; the answer is ignored.
void SendLogout(Robot& robot);

}  // namespace zelmo::app
