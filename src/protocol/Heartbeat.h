#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}
namespace zelmo::messages {
class IncomingQueue;
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

// One synccheck long poll on the push host (held by the service up to 30 s).
SyncCheckAnswer SyncCheck(app::Robot& robot);

// One webwxsync; on "Ret" 0 advances the SyncKey and returns true. `answer` gets the GBK
// answer either way. On failure the SyncKey is kept, so the same news come again.
bool WebSync(app::Robot& robot, std::string& answer);

// Posts every AddMsgList item as a kind-5 job, in answer order, and the first modified
// contact's UserName as one kind-2 job. Other lists are not acted on.
void ProcessSyncAnswer(messages::IncomingQueue& queue, std::string_view answer);
void ProcessSyncAnswer(app::Robot& robot, std::string_view answer);

// The service ended the session: logout, HeartbeatStop, offline.
void LogoutOnLoss(app::Robot& robot);

// Thread body: synccheck / webwxsync cycles until HeartbeatStop, the main window's caption
// showing the connection state after every cycle. A cycle whose poll ends after
// HeartbeatStop was set ends the loop without acting on the answer.
void HeartbeatLoop(app::Robot& robot);

}  // namespace zelmo::protocol
