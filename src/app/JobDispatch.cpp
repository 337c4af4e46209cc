#include "app/JobDispatch.h"

#include "app/KeyAssignment.h"
#include "app/Robot.h"
#include "contacts/ContactJobs.h"
#include "contacts/ContactRequests.h"
#include "messages/Intake.h"
#include "messages/MediaReplies.h"
#include "messages/MessageJobs.h"
#include "messages/MessageLog.h"
#include "platform/GbkLiteral.h"
#include "protocol/JsonText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::app {

namespace {

// Jobs that talk to the service wait while the robot is offline rather than fail.
bool NeedsService(int kind) {
    return kind == messages::JOB_INCOMING_MESSAGE || kind == contacts::JOB_CONTACT_CHANGED ||
           kind == contacts::JOB_GROUP_MEMBERS;
}

}  // namespace

void RunJob(Robot& robot, const jobs::Job& job) {
    if (NeedsService(job.kind) && !robot.Connection().WaitOnline()) {
        return;  // the robot stops
    }
    // A received message waits while the user is asked about the end (it may learn).
    if (job.kind == messages::JOB_INCOMING_MESSAGE && !robot.WaitWhileIntakeHeld()) {
        return;
    }
    const auto& t = job.texts;
    switch (job.kind) {
        case messages::JOB_SEND_TEXT:
            // The sender paces it; the worker is free at once. Only the knowledge base's
            // replies may name a file (one the owner put into the replies folder).
            if (t[2] == messages::REPLY_FROM_KNOWLEDGE) {
                messages::PostTextOrFile(robot.Sender(), robot.AccountDir(), t[0], t[1],
                                         messages::SendKind::Reply);
            } else {
                robot.Sender().Post(t[0], t[1], messages::SendKind::Reply);
            }
            break;
        case contacts::JOB_CONTACT_CHANGED: {
            const std::size_t known = robot.Contacts().Count();
            contacts::EnsureContactKnown(robot.Link(), *robot.State(), robot.Contacts(),
                                         robot.Queue(), robot.Screen(), robot.Pause(), t[0]);
            if (robot.Contacts().Count() != known) {
                AssignContactKeys(robot, KeysFor::More);
                // A contact the list's change brought: a friend added (or a group).
                if (onebot::OneBotService* service = robot.OneBot()) {
                    service->OnFriendChanged(t[0], true);
                }
            }
            break;
        }
        case messages::JOB_LOG_ENTRY:
            messages::LogMessage(robot.Log(), robot.Contacts(), robot.State()->own, t[0], t[1],
                                 t[2], t[3]);
            break;
        case contacts::JOB_GROUP_MEMBERS:
            contacts::FetchGroupMembers(robot.Link(), *robot.State(), robot.Contacts(),
                                        robot.Screen(), robot.Pause(), t[0]);
            AssignMemberKeys(robot, static_cast<std::size_t>(protocol::IntegerValue(t[0])));
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

void LogDroppedJob(Robot& robot, const jobs::Job& job) {
    const auto& t = job.texts;
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    const protocol::OwnProfile& own = state->own;
    const contacts::ContactStore& contacts = robot.Contacts();
    const std::string why = platform::Gbk("待处理任务过多，已丢弃：");
    const std::string not_handled = platform::Gbk("[↓]未处理");
    switch (job.kind) {
        case messages::JOB_SEND_TEXT:
            robot.Log().AddRow(platform::Gbk("[↑]未发送"), own.NickName,
                               contacts.FindNickName(t[0]), why + t[1]);
            break;
        case messages::JOB_LOG_ENTRY:
            // Its row is all it wanted, and writing it costs nothing.
            messages::LogMessage(robot.Log(), contacts, own, t[0], t[1], t[2], t[3]);
            break;
        case messages::JOB_INCOMING_MESSAGE: {
            const std::string from = protocol::ExtractBetween(t[0], "\"FromUserName\": \"", "\",");
            const std::string content =
                messages::ClassifyContent(protocol::ExtractJsonString(t[0], "\"Content\": \""),
                                          robot.Profile().short_link_host);
            robot.Log().AddRow(not_handled, contacts.FindNickName(from), own.NickName,
                               why + content);
            break;
        }
        case contacts::JOB_CONTACT_CHANGED:
            robot.Log().AddRow(not_handled, t[0], own.NickName, why + platform::Gbk("联系人资料"));
            break;
        case contacts::JOB_GROUP_MEMBERS: {
            const std::optional<contacts::ContactRecord> group =
                contacts.At(static_cast<std::size_t>(protocol::IntegerValue(t[0])));
            robot.Log().AddRow(not_handled, group ? group->NickName : t[0], own.NickName,
                               why + platform::Gbk("群成员"));
            break;
        }
        default:
            break;
    }
}

void SenderThread(Robot& robot) {
    robot.Sender().Run();
}

}  // namespace zelmo::app
