#include "app/KeyAssignment.h"

#include <optional>
#include <string>

#include "app/Robot.h"
#include "platform/GbkLiteral.h"

namespace zelmo::app {

namespace {

void Tell(Robot& robot, const contacts::KeyAssignment& assignment) {
    // Kept at once, so the keys survive whatever ends the run.
    robot.Archive().SaveKeys();
    if (assignment.ambiguous.empty()) {
        return;
    }
    std::string names;
    for (const std::string& name : assignment.ambiguous) {
        names += (names.empty() ? "" : platform::Gbk("、")) + name;
    }
    robot.Screen().LogEvent("contacts",
                            platform::Gbk("无法确定是哪位已知联系人，给了新的标识：") + names);
}

}  // namespace

void AssignContactKeys(Robot& robot, KeysFor what) {
    Tell(robot, what == KeysFor::NewLogin ? robot.Keys().AssignLogin(robot.Contacts())
                                          : robot.Keys().AssignMore(robot.Contacts()));
}

void AssignMemberKeys(Robot& robot, std::size_t group_index) {
    if (const std::optional<contacts::ContactRecord> group = robot.Contacts().At(group_index)) {
        Tell(robot, robot.Keys().AssignMembers(*group));
    }
}

}  // namespace zelmo::app
