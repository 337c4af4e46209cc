#include "app/Heartbeat.h"

#include <string>

#include "app/Relogin.h"
#include "app/Robot.h"
#include "contacts/ContactJobs.h"
#include "messages/MessageJobs.h"
#include "protocol/ConnectionState.h"

namespace zelmo::app {

namespace {

constexpr int FAILED_POLL_PAUSE_MS = 900;
constexpr int CYCLE_PAUSE_MS = 100;
constexpr int LOOP_PAUSE_MS = 500;

// One cycle of the loop; false when HeartbeatStop was set while the poll was out.
bool RunCycle(Robot& robot) {
    std::atomic<int>& connection = robot.Connection();
    // The service ended the session (a send saw it, or this poll or sync): with
    // 自动重新登录 the loop logs in again before it polls on; without, as ever.
    if (robot.SessionEndReported().exchange(false) && AutoReloginOn(robot)) {
        return Relogin(robot, "1101");
    }
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    const protocol::SyncCheckAnswer check = protocol::SyncCheck(robot.Link(), *state);
    // Whoever stopped the loop (a close, a logout) has already spoken to the service.
    if (robot.HeartbeatStop().load()) {
        return false;
    }
    if (check.ok && EndsSession(check.retcode) && AutoReloginOn(robot)) {
        return Relogin(robot, check.retcode);
    }
    if (!check.ok) {
        connection.store(protocol::STATE_LISTEN_FAILED);
        robot.Screen().Delay(FAILED_POLL_PAUSE_MS);
        return true;
    }
    if (check.retcode == "0") {
        connection.store(protocol::STATE_ONLINE);
        if (check.selector != "0") {
            std::string answer;
            if (SyncAndKeepKey(robot, answer)) {
                PostSyncNews(robot.Queue(), protocol::ReadSyncNews(answer));
            } else if (SyncAnswerEndsSession(answer) && AutoReloginOn(robot)) {
                return Relogin(robot, "1101");
            } else {
                connection.store(protocol::STATE_REQUEST_FAILED);
            }
        }
    } else if (check.retcode == "1100") {
        connection.store(protocol::STATE_OFFLINE);
        LogoutOnLoss(robot);
    } else if (check.retcode == "1101") {
        connection.store(protocol::STATE_OFFLINE);
    }
    robot.Screen().Delay(CYCLE_PAUSE_MS);
    return true;
}

}  // namespace

void PostSyncNews(jobs::JobQueue& queue, const protocol::SyncNews& news) {
    for (const std::string& item : news.messages) {
        jobs::PostJob(queue, messages::JOB_INCOMING_MESSAGE, item);
    }
    if (!news.changed_contact.empty()) {
        jobs::PostJob(queue, contacts::JOB_CONTACT_CHANGED, news.changed_contact);
    }
}

bool SyncAndKeepKey(Robot& robot, std::string& answer) {
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    protocol::ProtocolState synced = *state;
    if (!protocol::WebSync(robot.Link(), synced, answer)) {
        return false;
    }
    robot.Sessions().SetSyncKey(*state, std::move(synced.sync_key));
    return true;
}

void LogoutOnLoss(Robot& robot) {
    protocol::SendLogout(robot.Link(), *robot.State());
    robot.HeartbeatStop().store(true);
    robot.Connection().store(protocol::STATE_OFFLINE);
}

void HeartbeatLoop(Robot& robot) {
    const std::atomic<bool>& stop = robot.HeartbeatStop();
    while (!stop.load()) {
        if (!RunCycle(robot)) {
            return;
        }
        const std::string caption = protocol::CaptionFor(robot.Connection().load());
        if (!caption.empty()) {
            robot.Screen().SetMainCaption(caption);
        }
        if (stop.load()) {
            return;
        }
        robot.Screen().Delay(LOOP_PAUSE_MS);
    }
}

}  // namespace zelmo::app
