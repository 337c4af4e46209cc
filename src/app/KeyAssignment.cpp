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

// The own account as a contact: the frameworks' self id, and the robot among its groups'
// members, keep one key across logins.
contacts::ContactRecord OwnRecord(const protocol::OwnProfile& own) {
    contacts::ContactRecord record;
    record.Uin = own.Uin;
    record.UserName = own.UserName;
    record.NickName = own.NickName;
    record.Signature = own.Signature;
    record.kind = own.Sex == contacts::KIND_MALE || own.Sex == contacts::KIND_FEMALE
                      ? own.Sex
                      : std::string(contacts::KIND_UNKNOWN);
    return record;
}

}  // namespace

void AssignContactKeys(Robot& robot, KeysFor what) {
    if (what == KeysFor::More) {
        Tell(robot, robot.Keys().AssignMore(robot.Contacts()));
        return;
    }
    const contacts::ContactRecord own = OwnRecord(robot.State()->own);
    Tell(robot, robot.Keys().AssignLogin(robot.Contacts(), &own));
}

void AssignMemberKeys(Robot& robot, std::size_t group_index) {
    if (const std::optional<contacts::ContactRecord> group = robot.Contacts().At(group_index)) {
        Tell(robot, robot.Keys().AssignMembers(*group));
    }
}

}  // namespace zelmo::app
