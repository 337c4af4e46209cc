#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zelmo::app {
class Robot;
}

namespace zelmo::contacts {

// webwxoplog: sets the own account's remark (GBK) for a contact; the remark is
// JSON-escaped, so any text arrives as typed. The answer's "Ret" text, empty on failure.
// Blocks up to the default time-out: not on the UI thread.
std::string SetRemarkName(app::Robot& robot, std::string_view user_name, std::string_view remark);

// The remark window's commit. False, and nothing sent, when the remark is unchanged;
// otherwise sends it on a robot thread, which then runs `sent` whatever the answer.
// False too when the robot is stopping (nothing sent then either).
bool CommitRemark(app::Robot& robot, std::string user_name, std::string_view old_remark,
                  std::string new_remark, std::function<void()> sent);

}  // namespace zelmo::contacts
