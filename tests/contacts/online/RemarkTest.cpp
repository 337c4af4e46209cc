#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "app/WindowActions.h"
#include "contacts/RemarkRequest.h"
#include "platform/GbkLiteral.h"
#include "support/OnlineRobot.h"

namespace zelmo::test {
namespace {

constexpr std::string_view OPLOG = "/cgi-bin/mmwebwx-bin/webwxoplog";

std::vector<sim::RecordedRequest> OplogRequests(sim::Simulator& simulator) {
    std::vector<sim::RecordedRequest> found;
    for (sim::RecordedRequest& request : simulator.Requests()) {
        if (request.path == OPLOG) {
            found.push_back(std::move(request));
        }
    }
    return found;
}

// The body ends with the remark field, as the service receives it (UTF-8).
bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

class RemarkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(online.Start(), ""); }
    OnlineRobot online;
};

TEST_F(RemarkTest, RemarksArriveAsTypedWhateverTheyHold) {
    sim::Simulator& simulator = online.Sim();
    const std::string bob = simulator.UserNameOf("bob");
    ASSERT_FALSE(bob.empty());

    EXPECT_EQ(contacts::SetRemarkName(online.Robot().Link(), *online.Robot().State(), bob,
                                      platform::Gbk("老王")),
              "0");
    EXPECT_EQ(contacts::SetRemarkName(online.Robot().Link(), *online.Robot().State(), bob, ""),
              "0");
    EXPECT_EQ(contacts::SetRemarkName(online.Robot().Link(), *online.Robot().State(), bob,
                                      R"(say "hi" \o/)"),
              "0");

    const std::vector<sim::RecordedRequest> requests = OplogRequests(simulator);
    ASSERT_EQ(requests.size(), 3u);
    const sim::SessionInfo session = simulator.Session();
    for (const sim::RecordedRequest& request : requests) {
        EXPECT_EQ(request.method, "post");
        EXPECT_EQ(request.query.rfind("r=", 0), 0u) << request.query;
        EXPECT_NE(request.query.find("&skey=%40" + session.skey.substr(1) +
                                     "&pass_ticket=" + session.pass_ticket),
                  std::string::npos)
            << request.query;
        EXPECT_NE(request.body.find(R"("CmdId":2,"UserName":")" + bob +
                                    R"(","BlackType":0,"RemarkName":")"),
                  std::string::npos)
            << request.body;
        EXPECT_FALSE(request.cookie.empty());
    }
    EXPECT_TRUE(EndsWith(requests[0].body, "\"RemarkName\":\"\xe8\x80\x81\xe7\x8e\x8b\"}"))
        << requests[0].body;
    EXPECT_TRUE(EndsWith(requests[1].body, R"("RemarkName":""})")) << requests[1].body;
    EXPECT_TRUE(EndsWith(requests[2].body, R"("RemarkName":"say \"hi\" \\o/"})"))
        << requests[2].body;
    EXPECT_EQ(simulator.Violations(), std::vector<std::string>{});
}

TEST_F(RemarkTest, CommitSendsOnlyAChangedRemarkAndReportsWhenDone) {
    sim::Simulator& simulator = online.Sim();
    const std::string alice = simulator.UserNameOf("alice");
    const std::string bob = simulator.UserNameOf("bob");

    int unchanged_calls = 0;
    EXPECT_FALSE(app::CommitRemark(online.Robot(), alice, "Bobby", "Bobby",
                                   [&unchanged_calls] { ++unchanged_calls; }));
    std::promise<void> sent;
    ASSERT_TRUE(
        app::CommitRemark(online.Robot(), bob, "Bobby", "Robert", [&sent] { sent.set_value(); }));
    ASSERT_EQ(sent.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    const std::vector<sim::RecordedRequest> requests = OplogRequests(simulator);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].body.find("\"UserName\":\"" + bob + "\""), std::string::npos);
    EXPECT_TRUE(EndsWith(requests[0].body, R"("RemarkName":"Robert"})"));
    EXPECT_EQ(unchanged_calls, 0);
}

}  // namespace
}  // namespace zelmo::test
