#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "sim/SimTestClient.h"

namespace simtest {
namespace {

// The lines a demo watches: what reaches the robot and what it answers.
TEST(Traffic, OneLinePerDeliveredMessageAndPerSentText) {
    std::mutex mutex;
    std::vector<std::string> lines;
    sim::SimulatorOptions options = Harness::Options(200);
    options.send_min_interval_ms = 60000;
    options.traffic = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    Harness h(options);
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    h.LoginAndInit(cookie);

    h.simulator.DeliverMessage({sim::MessageKind::Text, "alice", "", "", "hi there"});
    sim::MessageSpec picture;
    picture.kind = sim::MessageKind::Picture;
    picture.from = "team";
    picture.member = "bob";
    h.simulator.DeliverMessage(picture);
    const std::string self = h.simulator.Session().user_name;
    const std::string alice = h.simulator.UserNameOf("alice");
    const auto send = [&](const std::string& text) {
        h.Send(h.Web(), "post", h.Path("webwxsendmsg"),
               h.Envelope() + ",\"Msg\":{\"FromUserName\":\"" + self + "\",\"ToUserName\":\"" +
                   alice + "\",\"Type\":1,\"Content\":\"" + text +
                   "\",\"ClientMsgId\":1,\"LocalID\":1}}",
               cookie);
    };
    send("line one\\r\\nline two");
    send("too soon");

    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines[0].starts_with("-> ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(": hi there")) << lines[0];
    EXPECT_NE(lines[1].find(" / "), std::string::npos) << lines[1];
    EXPECT_TRUE(lines[1].ends_with(": (picture)")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("<- ")) << lines[2];
    EXPECT_TRUE(lines[2].ends_with(": line one / line two")) << lines[2];
    EXPECT_TRUE(lines[3].ends_with("too soon (Ret 1025)")) << lines[3];
}

}  // namespace
}  // namespace simtest
