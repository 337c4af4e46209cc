#include <gtest/gtest.h>

#include <future>

#include "SimTestClient.h"

using simtest::Answer;
using simtest::Harness;

TEST(LongPolls, EightHeldPollsDoNotStarveOtherRequestsAndStopEndsThem) {
    Harness h(Harness::Options(30000));
    ASSERT_TRUE(h.simulator.Start());
    std::string cookie;
    h.LoginAndInit(cookie);
    const sim::SessionInfo s = h.simulator.Session();
    const std::string synccheck = "/cgi-bin/mmwebwx-bin/synccheck?" + h.SkeyQuery() +
                                  "&sid=" + s.sid + "&uin=" + s.uin +
                                  "&deviceid=e402715839261573&synckey=";
    // The key the init answer carries.
    std::string init =
        h.Send(h.Web(), "post", h.Path("webwxinit"),
               "{\"BaseRequest\":{\"Uin\":\"" + s.uin + "\",\"Sid\":\"" + s.sid + "\",\"Skey\":\"" +
                   s.skey + "\",\"DeviceID\":\"e402715839261573\"}}",
               cookie)
            .Text();
    const std::string key = simtest::SyncKeyText(init);
    std::vector<std::future<Answer>> polls;
    polls.reserve(10);
    for (int i = 0; i < 10; ++i) {
        polls.push_back(std::async(std::launch::async, [&] {
            return h.Send(h.simulator.HostFor("push"), "GET", synccheck + key, "", cookie);
        }));
    }
    ASSERT_TRUE(h.simulator.WaitForRequests("synccheck", 10, std::chrono::seconds(10)));
    for (int i = 0; i < 20; ++i) {
        const Answer answer =
            h.Send(h.simulator.HostFor("login"), "GET", "/jslogin?appid=wx782c26e4c19acffb");
        ASSERT_EQ(answer.status, 200);
    }
    for (auto& poll : polls) {
        EXPECT_EQ(poll.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    }
    const auto before = std::chrono::steady_clock::now();
    h.simulator.Stop();
    for (auto& poll : polls) {
        ASSERT_EQ(poll.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        poll.get();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
}
