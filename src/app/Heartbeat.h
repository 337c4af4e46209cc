#pragma once

#include <string>

#include "jobs/JobQueue.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

class Robot;

// Posts every message of the news as a kind-5 job, in answer order, and the changed
// contact (if any) as one kind-2 job.
void PostSyncNews(jobs::JobQueue& queue, const protocol::SyncNews& news);

// One webwxsync on the session as it is now; a new SyncKey is kept unless a login replaced
// the session meanwhile. `answer` gets the GBK answer either way.
bool SyncAndKeepKey(Robot& robot, std::string& answer);

// The service ended the session: logout, HeartbeatStop, offline.
void LogoutOnLoss(Robot& robot);

// Thread body: synccheck / webwxsync cycles until HeartbeatStop, the main window's caption
// showing the connection state after every cycle. A cycle whose poll ends after
// HeartbeatStop was set ends the loop without acting on the answer. When the service ends
// the session and 自动重新登录 is on, the loop logs in again (Relogin) before it goes on.
void HeartbeatLoop(Robot& robot);

}  // namespace zelmo::app
