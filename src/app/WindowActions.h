#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zelmo::app {

class Robot;

// What the windows' actions do: the windows only forward them, so every request runs off
// the UI thread, here, on the robot's threads. UI thread.

// The avatar was clicked while empty: fetches the head image again on a robot thread, then
// shows the header (ShowOwnHeader). False when the robot is stopping.
bool ReloadAvatar(Robot& robot);

// A text typed in the chat window: queued for sending to `user_name` and logged as sent.
void SendChatText(Robot& robot, const std::string& user_name, const std::string& text);

// A file picked in the chat window: queued for sending to `user_name` as a picture, video or
// file by its type, and logged as sent ("[图片=NAME]" and the like).
void SendChatFile(Robot& robot, const std::string& user_name, const std::string& path);

// The member window opened on the group at a 1-based store index: fetches its members,
// which GroupMembersFetched then shows.
void FetchMembersOf(Robot& robot, std::size_t group_index);

// The remark window's commit (see contacts::CommitRemark): `sent` runs on the robot's
// thread once the request is answered.
bool CommitRemark(Robot& robot, std::string user_name, std::string_view old_remark,
                  std::string new_remark, std::function<void()> sent);

}  // namespace zelmo::app
