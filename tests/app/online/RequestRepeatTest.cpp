#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "platform/WebClient.h"
#include "protocol/ServiceProfile.h"
#include "sim/Simulator.h"
#include "support/TestSupport.h"

// A request that is not safe to repeat must reach the service at most once, even when the
// connection it would have gone out on was reset before any answer.

namespace zelmo::faults {
namespace {

class RequestRepeatTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.workdir = m_dir.Path() + "/sim";
        m_sim = std::make_unique<sim::Simulator>(options);
        ASSERT_TRUE(m_sim->Start());
        m_profile = protocol::LoadServiceProfile(m_sim->ProfilePath());
        m_web = std::make_unique<platform::WebClient>(protocol::ClientConfig(m_profile));
    }
    void TearDown() override { m_sim->Stop(); }

    std::size_t Count(std::string_view path_part) const {
        const auto requests = m_sim->Requests();
        return static_cast<std::size_t>(
            std::count_if(requests.begin(), requests.end(), [&](const auto& request) {
                return request.path.find(path_part) != std::string::npos;
            }));
    }

    // Leaves a kept connection to the primary web host behind.
    void OpenConnection() {
        ASSERT_FALSE(m_web->Request(protocol::WebUrl(m_profile, "") + "/?lang=zh_CN").empty());
    }

    test::TempDir m_dir;
    std::unique_ptr<sim::Simulator> m_sim;
    protocol::ServiceProfile m_profile;
    std::unique_ptr<platform::WebClient> m_web;
};

TEST_F(RequestRepeatTest, APostOnAResetConnectionGoesOutOnce) {
    const std::string web = protocol::WebUrl(m_profile, "");
    for (const std::string_view name :
         {"webwxsendmsg", "webwxoplog", "webwxstatreport", "webwxinit", "webwxsync"}) {
        OpenConnection();
        m_sim->SetFault(std::string(name), sim::Fault{sim::FaultKind::Reset});
        const std::string answer =
            m_web->Request(web + "/cgi-bin/mmwebwx-bin/" + std::string(name) + "?r=1",
                           {.method = "post", .body = R"({"BaseRequest":{}})"});
        EXPECT_EQ(answer, "") << name;
        EXPECT_EQ(Count(name), 1u) << name << " was sent twice";
    }
}

// The same reset under a GET is what makes curl resend: proof that the case above would
// have repeated the post without its own connection.
TEST_F(RequestRepeatTest, AGetOnAResetKeptConnectionIsResentByCurl) {
    OpenConnection();
    m_sim->SetFault("/", sim::Fault{sim::FaultKind::Reset});
    EXPECT_FALSE(m_web->Request(protocol::WebUrl(m_profile, "") + "/?lang=zh_CN").empty());
    EXPECT_EQ(Count("/"), 3u) << "one to open the connection, the reset one and its resend";
}

// A post marked repeatable (a read) keeps the connection, so curl resends it like a GET
// and the caller still gets its answer.
TEST_F(RequestRepeatTest, ARepeatablePostOnAResetKeptConnectionIsResentAndAnswered) {
    OpenConnection();
    m_sim->SetFault("webwxsync", sim::Fault{sim::FaultKind::Reset});
    const std::string answer =
        m_web->Request(protocol::WebUrl(m_profile, "") + "/cgi-bin/mmwebwx-bin/webwxsync?r=1",
                       {.method = "post", .body = R"({"BaseRequest":{}})", .repeatable = true});
    EXPECT_NE(answer.find("Ret"), std::string::npos) << answer;
    EXPECT_EQ(Count("webwxsync"), 2u) << "the reset one and its resend";
}

// A fault key that holds a "?" sees the query, so the home page can fail on its own.
TEST_F(RequestRepeatTest, AFaultKeyWithAQueryNamesOnlyTheHomePage) {
    sim::Fault fault{sim::FaultKind::Http500};
    fault.sticky = true;
    m_sim->SetFault("/?lang=", fault);
    const std::string home = m_web->Request(protocol::WebUrl(m_profile, "") + "/?lang=zh_CN");
    EXPECT_NE(home.find("500 Internal Server Error"), std::string::npos) << home;
    const std::string jslogin =
        m_web->Request(protocol::LoginUrl(m_profile) + "/jslogin?appid=wx782c26e4c19acffb&fun=new");
    EXPECT_TRUE(jslogin.starts_with("window.QRLogin.code = 200;")) << jslogin;
}

}  // namespace
}  // namespace zelmo::faults
