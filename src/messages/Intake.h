#pragma once

#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}

namespace zelmo::messages {

enum ChatType : int { CHAT_FRIEND = 1, CHAT_GROUP = 2 };

// The bracketed label of a media content, the place of a location, or the content itself.
// short_link_host names the service's URL shortener (from the service profile).
std::string ClassifyContent(std::string_view content, std::string_view short_link_host);

// True when one comma-separated piece of list equals item exactly (no trimming); false
// when either is empty.
bool IsInCommaList(std::string_view list, std::string_view item);

// Job kind 5: one raw AddMsgList item.
void HandleIncomingMessage(app::Robot& robot, std::string_view item);

// The reply decision for one message from another account; posts the reply as a job.
void DecideReply(app::Robot& robot, std::string_view from_user_name, std::string_view content);

}  // namespace zelmo::messages
