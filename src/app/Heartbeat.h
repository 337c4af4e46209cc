#pragma once

#include "jobs/JobQueue.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

class Robot;

// Posts every message of the news as a kind-5 job, in answer order, and the changed
// contact (if any) as one kind-2 job.
void PostSyncNews(jobs::JobQueue& queue, const protocol::SyncNews& news);

// The service ended the session: logout, HeartbeatStop, offline.
void LogoutOnLoss(Robot& robot);

// Thread body: synccheck / webwxsync cycles until HeartbeatStop, the main window's caption
// showing the connection state after every cycle. A cycle whose poll ends after
// HeartbeatStop was set ends the loop without acting on the answer.
void HeartbeatLoop(Robot& robot);

}  // namespace zelmo::app
