#pragma once

#include "jobs/JobQueue.h"
#include "protocol/RecentMessageIds.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

class Robot;

// Posts every message of a complete webwxsync answer as a kind-5 job (the item's bytes as
// sent), in answer order, and the changed contact (if any) as one kind-2 job. A message
// whose MsgId is among the handled ones is skipped; the others join them.
void PostSyncNews(jobs::JobQueue& queue, protocol::RecentMessageIds& handled,
                  const protocol::SyncAnswer& news);

// One webwxsync on the session as it is now; a new SyncKey is kept unless a login replaced
// the session meanwhile. `answer` gets what the service answered either way.
bool SyncAndKeepKey(Robot& robot, protocol::SyncAnswer& answer);

// The service ended the session: logout, HeartbeatStop, offline.
void LogoutOnLoss(Robot& robot);

// Thread body: synccheck / webwxsync cycles until HeartbeatStop, the main window's caption
// showing the connection state after every cycle. A cycle whose poll ends after
// HeartbeatStop was set ends the loop without acting on the answer. Consecutive failed
// cycles (no poll answer, a retcode other than "0", a failed or incomplete sync) wait
// 1 s, doubling, at most 60 s, before the next; a good cycle starts over. After a poll
// without an answer the next cycle is a webwxsync alone, so a service that is back shows
// online at once.
// When the service ends the session and 自动重新登录 is on, the loop logs in again
// (Relogin) before it goes on. A poll that was out when a send met the end of the session
// changes nothing (Connection::Generation): it cannot put the robot back online on the
// session that ended.
void HeartbeatLoop(Robot& robot);

}  // namespace zelmo::app
