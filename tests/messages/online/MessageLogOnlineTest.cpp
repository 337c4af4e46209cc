#include <gtest/gtest.h>

#include <chrono>

#include "jobs/JobQueue.h"
#include "messages/MessageJobs.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

// A log job runs on a queue worker of the logged-in robot and names both sides with the
// login's own profile and the contact store.
TEST(MessageLogOnlineTest, LogJobsBecomeRowsOnTheQueueWorkers) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    app::Robot& robot = online.Robot();
    const protocol::OwnProfile own = robot.State()->own;
    ASSERT_FALSE(own.UserName.empty());
    contacts::ContactRecord friend_record;
    friend_record.UserName = "@log-friend";
    friend_record.NickName = platform::Gbk("日志好友");
    robot.Contacts().AppendIfNew(friend_record);
    const std::size_t before = online.Screen().CountOf("AddLogRow");

    jobs::PostJob(robot.Queue(), messages::JOB_LOG_ENTRY, "@log-friend", own.UserName, "hello");
    ASSERT_TRUE(online.Screen().WaitForCall("AddLogRow", std::chrono::seconds(10), before + 1));
    const std::string row = online.Screen().TextsOf("AddLogRow")[before];
    const std::string label = platform::Gbk("[↓]好友") + "\t";
    const std::string tail = "\t" + platform::Gbk("日志好友") + "\t" + own.NickName + "\thello";
    EXPECT_EQ(row.substr(0, label.size()), label);
    ASSERT_GE(row.size(), tail.size());
    EXPECT_EQ(row.substr(row.size() - tail.size()), tail);
}

}  // namespace
}  // namespace zelmo::test
