#include "app/Heartbeat.h"

#include <string>

#include "app/LoginGuard.h"
#include "app/OneBotStart.h"
#include "app/Relogin.h"
#include "app/Robot.h"
#include "contacts/ContactJobs.h"
#include "jobs/Backoff.h"
#include "messages/MessageJobs.h"
#include "protocol/ConnectionState.h"

namespace zelmo::app {

namespace {

constexpr int CYCLE_PAUSE_MS = 100;
constexpr int LOOP_PAUSE_MS = 500;

struct CycleEnd {
    bool go_on = true;        // false: HeartbeatStop was set while the poll was out
    bool failed = false;      // the next cycle backs off
    bool unanswered = false;  // the poll got no answer at all
};

// The service ended the session and 自动重新登录 is on; the loop ends only when the robot
// stops or gave up meanwhile.
CycleEnd LogInAgain(Robot& robot, std::string_view retcode) {
    return {Relogin(robot, retcode), false};
}

// A poll answered with a retcode other than "0". Every session-ending code is decided
// here, in one place. `generation`: the connection's when the poll went out.
CycleEnd OnRetcode(Robot& robot, const std::string& retcode, std::uint64_t generation) {
    if (EndsSession(retcode) && AutoReloginOn(robot)) {
        return LogInAgain(robot, retcode);
    }
    protocol::Connection& connection = robot.Connection();
    if (retcode == "1100") {
        connection.Set(protocol::STATE_OFFLINE);
        LogoutOnLoss(robot);
        return {true, true};
    }
    if (retcode == "1101") {
        connection.SetFound(generation, protocol::STATE_OFFLINE);
        return {true, true};
    }
    // 1102 (cookies refused), 1205 (too frequent) and codes nobody knows: the robot is not
    // listening, whatever it showed before.
    connection.SetFound(generation, protocol::STATE_LISTEN_FAILED);
    return {true, true};
}

// News handed on: messages came on this session.
void HandOn(Robot& robot, const protocol::ProtocolState& state,
            const protocol::SyncAnswer& answer) {
    PostSyncNews(robot.Queue(), robot.HandledMessages(), answer);
    if (!answer.messages.empty()) {
        robot.Watch().Active(state.generation);
    }
    if (onebot::OneBotService* service = robot.OneBot()) {
        for (const std::string& user_name : answer.deleted_contacts) {
            service->OnFriendChanged(user_name, false);
        }
    }
}

// After a poll that got no answer, the next cycle asks with a webwxsync, which the service
// answers at once: a poll would be held up to 25 s without news, and everything waiting
// for the robot to be online would wait that long after the network came back.
CycleEnd RunProbe(Robot& robot) {
    protocol::Connection& connection = robot.Connection();
    const std::uint64_t generation = connection.Generation();
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    protocol::SyncAnswer answer;
    const bool synced = SyncAndKeepKey(robot, answer);
    if (robot.HeartbeatStop().load()) {
        return {false, false};
    }
    if (!synced && SyncAnswerEndsSession(answer) && AutoReloginOn(robot)) {
        return LogInAgain(robot, "1101");
    }
    if (!synced) {
        connection.SetFound(generation, protocol::STATE_LISTEN_FAILED);
        return {true, true};
    }
    HandOn(robot, *state, answer);
    connection.SetFound(generation, protocol::STATE_ONLINE);
    return {true, false};
}

CycleEnd RunCycle(Robot& robot) {
    protocol::Connection& connection = robot.Connection();
    // Read before the poll goes out: a send that meets the end of the session while the
    // poll is held raises it, and the poll's answer must not put the robot back online.
    const std::uint64_t generation = connection.Generation();
    // A send met the end of the session: with 自动重新登录 the loop logs in again before it
    // polls on.
    if (robot.SessionEndReported().exchange(false) && AutoReloginOn(robot)) {
        return LogInAgain(robot, "1101");
    }
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    if (robot.Watch().TakeProved(state->generation, robot.Clock().TickMs())) {
        NoteSessionProved(robot, state->session.uin);
    }
    const protocol::SyncCheckAnswer check = protocol::SyncCheck(robot.Link(), *state);
    // Whoever stopped the loop (a close, a logout) has already spoken to the service.
    if (robot.HeartbeatStop().load()) {
        return {false, false};
    }
    if (!check.ok) {
        connection.SetFound(generation, protocol::STATE_LISTEN_FAILED);
        return {true, true, true};
    }
    if (check.retcode != "0") {
        return OnRetcode(robot, check.retcode, generation);
    }
    if (check.selector != "0") {
        protocol::SyncAnswer answer;
        if (!SyncAndKeepKey(robot, answer)) {
            if (SyncAnswerEndsSession(answer) && AutoReloginOn(robot)) {
                return LogInAgain(robot, "1101");
            }
            connection.SetFound(generation, protocol::STATE_REQUEST_FAILED);
            return {true, true};
        }
        HandOn(robot, *state, answer);
    }
    connection.SetFound(generation, protocol::STATE_ONLINE);
    return {true, false};
}

}  // namespace

void PostSyncNews(jobs::JobQueue& queue, protocol::RecentMessageIds& handled,
                  const protocol::SyncAnswer& news) {
    for (const protocol::SyncItem& item : news.messages) {
        if (handled.Add(item.msg_id)) {
            jobs::PostJob(queue, messages::JOB_INCOMING_MESSAGE, item.text);
        }
    }
    if (!news.changed_contact.empty()) {
        jobs::PostJob(queue, contacts::JOB_CONTACT_CHANGED, news.changed_contact);
    }
}

bool SyncAndKeepKey(Robot& robot, protocol::SyncAnswer& answer) {
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
    robot.Connection().Set(protocol::STATE_OFFLINE);
    TellOneBotOnline(robot, false);
}

void HeartbeatLoop(Robot& robot) {
    const std::atomic<bool>& stop = robot.HeartbeatStop();
    jobs::Backoff backoff(jobs::SERVICE_RETRY_FIRST_MS, jobs::SERVICE_RETRY_MAX_MS);
    bool probe = false;
    while (!stop.load()) {
        // News fetched while the user is asked about the end would wait unhandled.
        if (!robot.WaitWhileIntakeHeld()) {
            return;
        }
        const CycleEnd end = probe ? RunProbe(robot) : RunCycle(robot);
        probe = end.unanswered;
        if (!end.go_on) {
            return;
        }
        const std::string caption = protocol::CaptionFor(robot.Connection().State());
        if (!caption.empty()) {
            robot.Screen().SetMainCaption(caption);
        }
        if (stop.load()) {
            return;
        }
        if (end.failed) {
            robot.Screen().Delay(backoff.Failed());
        } else {
            backoff.Succeeded();
            robot.Screen().Delay(CYCLE_PAUSE_MS);
        }
        robot.Screen().Delay(LOOP_PAUSE_MS);
    }
}

}  // namespace zelmo::app
