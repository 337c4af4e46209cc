#include "app/WindowActions.h"

#include <memory>
#include <utility>

#include "app/Robot.h"
#include "contacts/ContactRequests.h"
#include "contacts/RemarkRequest.h"
#include "media/ReplyMedia.h"
#include "messages/MessageLog.h"
#include "platform/Encoding.h"
#include "protocol/HeadImage.h"

namespace zelmo::app {

bool ReloadAvatar(Robot& robot) {
    return robot.StartThread([&robot] {
        const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
        const std::string image = protocol::FetchHeadImage(robot.Link(), *state);
        robot.Screen().ShowOwnHeader(image, state->own.NickName, state->own.Signature);
    });
}

void SendChatText(Robot& robot, const std::string& user_name, const std::string& text) {
    // Typed by the user, so it never expires the way a late reply does.
    robot.Sender().Post(user_name, text, messages::SendKind::Text,
                        {messages::SendOrigin::Chat, {}});
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    messages::LogMessage(robot.Log(), robot.Contacts(), state->own, state->own.UserName, user_name,
                         text);
}

void SendChatFile(Robot& robot, const std::string& user_name, const std::string& path) {
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    const media::SendAs send_as = media::SendAsFor(media::ReplyKindForFile(name), name);
    robot.Sender().PostFile(user_name, {path, send_as}, messages::SendKind::Text,
                            {messages::SendOrigin::Chat, {}});
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    messages::LogMessage(
        robot.Log(), robot.Contacts(), state->own, state->own.UserName, user_name,
        media::ReplyMediaText(media::ReplyKindOf(send_as), platform::Utf8ToGbk(name)));
}

void FetchMembersOf(Robot& robot, std::size_t group_index) {
    robot.StartThread([&robot, index_text = std::to_string(group_index)] {
        contacts::FetchGroupMembers(robot.Link(), *robot.State(), robot.Contacts(), robot.Screen(),
                                    robot.Pause(), index_text);
    });
}

bool CommitRemark(Robot& robot, std::string user_name, std::string_view old_remark,
                  std::string new_remark, std::function<void()> sent) {
    return contacts::CommitRemark(robot.Link(), *robot.State(), robot.Starter(),
                                  std::move(user_name), old_remark, std::move(new_remark),
                                  std::move(sent));
}

}  // namespace zelmo::app
