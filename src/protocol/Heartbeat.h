#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}

namespace zelmo::protocol {

// ConnectionState values.
enum ConnectionState : int {
    STATE_ONLINE = 0,
    STATE_OFFLINE = 1,
    STATE_LISTEN_FAILED = 2,
    STATE_REQUEST_FAILED = 3,
};

// The main window's caption for a state ("Zelmo 5.3  在线", GBK); empty for other values.
std::string CaptionFor(int state);

struct SyncCheckAnswer {
    bool ok = false;  // false for an empty answer
    std::string retcode;
    std::string selector;
};

// One synccheck long poll on the push host.
SyncCheckAnswer SyncCheck(app::Robot& robot);

// One webwxsync; on "Ret" 0 advances the SyncKey and leaves the GBK answer in `answer`.
// On failure the SyncKey is kept.
bool WebSync(app::Robot& robot, std::string& answer);

// Posts every AddMsgList item as a kind-5 job, in order, and the first modified contact
// as a kind-2 job.
void ProcessSyncAnswer(app::Robot& robot, std::string_view answer);

// The service ended the session: logout, stop the heartbeat, offline.
void LogoutOnLoss(app::Robot& robot);

// Thread body: synccheck / webwxsync cycles until HeartbeatStop.
void HeartbeatLoop(app::Robot& robot);

}  // namespace zelmo::protocol
