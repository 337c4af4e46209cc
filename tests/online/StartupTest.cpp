#include <gtest/gtest.h>

#include "platform/Files.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

TEST(StartupTest, LoginRunsTheStartUpAndCreatesTheAccountFolder) {
    OnlineRobot online;
    ASSERT_EQ(online.Start(), "");
    EXPECT_TRUE(platform::FileExists(online.AccountDir() + "/config"));
    EXPECT_TRUE(platform::FileExists(online.AccountDir() + "/plugin"));
    EXPECT_EQ(online.Robot().AccountDir(), online.AccountDir());
}

}  // namespace
}  // namespace zelmo::test
