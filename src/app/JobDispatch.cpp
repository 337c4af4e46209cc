#include "app/JobDispatch.h"

#include "app/Robot.h"
#include "contacts/ContactJobs.h"
#include "contacts/ContactRequests.h"
#include "messages/Intake.h"
#include "messages/MessageJobs.h"
#include "messages/MessageLog.h"

namespace zelmo::app {

void RunJob(Robot& robot, const jobs::Job& job) {
    const auto& t = job.texts;
    switch (job.kind) {
        case messages::JOB_SEND_TEXT:
            robot.Sender().SendText(t[0], t[1]);
            break;
        case contacts::JOB_CONTACT_CHANGED:
            contacts::EnsureContactKnown(robot.Link(), *robot.State(), robot.Connection(),
                                         robot.Contacts(), robot.Queue(), robot.Screen(), t[0]);
            break;
        case messages::JOB_LOG_ENTRY:
            messages::LogMessage(robot.Log(), robot.Contacts(), robot.State()->own, t[0], t[1],
                                 t[2]);
            break;
        case contacts::JOB_GROUP_MEMBERS:
            contacts::FetchGroupMembers(robot.Link(), *robot.State(), robot.Contacts(),
                                        robot.Screen(), t[0]);
            break;
        case messages::JOB_INCOMING_MESSAGE:
            messages::HandleIncomingMessage(robot.Intake(), t[0]);
            break;
        default:
            break;
    }
}

void QueueWorker(Robot& robot) {
    jobs::ServeQueue(robot.Queue(), robot.HeartbeatStop(),
                     [&robot](const jobs::Job& job) { RunJob(robot, job); });
}

}  // namespace zelmo::app
