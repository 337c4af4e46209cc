#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "FaultRig.h"
#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "platform/GbkLiteral.h"
#include "protocol/LoginFlow.h"

// Every login endpoint against every fault the simulator can play, once (one-shot), for a
// while (sticky, then cleared) and, where the QR fetch depends on it, for good. Each case
// has its own simulator, so ctest runs them side by side.

namespace zelmo::faults {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<test::StubScreen::Call>;
using platform::Gbk;

constexpr auto CASE_TIMEOUT = 60s;
// Delay cases scale every time-out down, so a delay past one costs a fraction of it; a
// fault that stays for good is waited out ten times, so its time-outs shrink further.
constexpr double DELAY_CASE_TIMEOUT_SCALE = 0.05;
constexpr double FOR_GOOD_TIMEOUT_SCALE = 0.02;
// The robot's pauses; a fault for good has no clearing to race with, so they shrink too.
constexpr double DELAY_SCALE = 0.05;
constexpr double FOR_GOOD_DELAY_SCALE = 0.02;
constexpr int DELAY_MARGIN_MS = 300;
// A robot that spins would make thousands of requests; a login through faults makes dozens.
constexpr std::size_t MAX_REQUESTS = 150;

struct Endpoint {
    std::string_view name;
    std::string_view key;       // the fault key: a part of the path (and query)
    std::string_view wait_key;  // a path part whose arrival shows the key's request was made
    // How the simulator names this endpoint in its complaints: a delayed request it answers
    // after the robot gave up on it may belong to a login cycle that is over.
    std::string_view complaint;
    int timeout_s;            // the time-out the robot gives this request
    std::size_t clear_after;  // requests of wait_key before a sticky fault is cleared
    bool fetch;               // a failure fails the QR attempt
    bool poll;                // a failure is reported with 10002
};

constexpr Endpoint HOME{"HomePage", "/?lang=", "jslogin", "home", 15, 1, false, false};
constexpr Endpoint JSLOGIN{"JsLogin", "jslogin", "jslogin", "jslogin", 15, 2, true, false};
constexpr Endpoint QR_IMAGE{"QrImage", "/qrcode/", "/qrcode/", "qrcode", 2, 2, true, false};
constexpr Endpoint POLL{"LoginPoll",
                        "/cgi-bin/mmwebwx-bin/login",
                        "/cgi-bin/mmwebwx-bin/login",
                        "login poll",
                        30,
                        2,
                        false,
                        true};
constexpr Endpoint REDIRECT{
    "Redirect", "webwxnewloginpage", "webwxnewloginpage", "webwxnewloginpage", 15, 2, false, false};
constexpr Endpoint REPORT{
    "StatusReport", "webwxstatreport", "webwxstatreport", "webwxstatreport", 15, 1, false, false};
constexpr Endpoint INIT{"WebwxInit", "webwxinit", "webwxinit", "webwxinit", 90, 2, false, false};

enum class Mode { OneShot, StickyThenCleared, StickyForever };

struct Kind {
    std::string_view name;
    sim::FaultKind kind;
};

constexpr std::array<Kind, 8> KINDS = {{
    {"Delay", sim::FaultKind::Delay},
    {"Reset", sim::FaultKind::Reset},
    {"Empty", sim::FaultKind::Empty200},
    {"Http500", sim::FaultKind::Http500},
    {"Garbage", sim::FaultKind::Garbage},
    {"Huge", sim::FaultKind::Huge},
    {"TruncatedGzip", sim::FaultKind::TruncatedGzip},
    {"InvalidGzip", sim::FaultKind::InvalidGzip},
}};

using Case = std::tuple<Endpoint, Kind, Mode>;

void PrintTo(const Endpoint& endpoint, std::ostream* out) {
    *out << endpoint.name;
}
void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::OneShot:
            return "OneShot";
        case Mode::StickyThenCleared:
            return "StickyThenCleared";
        case Mode::StickyForever:
            return "StickyForever";
    }
    return "";
}
void PrintTo(Mode mode, std::ostream* out) {
    *out << ModeName(mode);
}

std::string QrFailedText() {
    return Gbk("错误提示") + "\n" +
           Gbk("二维码加载失败，请查看网络连接是否正常！(错误代码：10001)");
}
std::string PollFailedText() {
    return Gbk("错误提示") + "\n" + Gbk("等到扫码出错，请查看网络连接是否正常！(错误代码：10002)");
}

class LoginFaultMatrix : public ::testing::TestWithParam<Case> {
protected:
    static bool IsDelay(const Kind& kind) { return kind.kind == sim::FaultKind::Delay; }

    static double TimeoutScale(const Kind& kind, Mode mode) {
        if (!IsDelay(kind)) {
            return 1.0;
        }
        return mode == Mode::StickyForever ? FOR_GOOD_TIMEOUT_SCALE : DELAY_CASE_TIMEOUT_SCALE;
    }

    static FaultRig::Options RigOptions(const Endpoint& endpoint, const Kind& kind, Mode mode) {
        FaultRig::Options options;
        options.timeout_scale = TimeoutScale(kind, mode);
        options.delay_scale = mode == Mode::StickyForever ? FOR_GOOD_DELAY_SCALE : DELAY_SCALE;
        // The poll's faults are watched one by one: the phone scans only when told.
        options.auto_login = !endpoint.poll;
        return options;
    }

    static sim::Fault FaultFor(const Endpoint& endpoint, const Kind& kind, Mode mode) {
        sim::Fault fault;
        fault.kind = kind.kind;
        fault.sticky = mode != Mode::OneShot;
        if (IsDelay(kind)) {
            fault.delay_ms =
                static_cast<int>(endpoint.timeout_s * 1000 * TimeoutScale(kind, mode)) +
                DELAY_MARGIN_MS;
        }
        return fault;
    }
};

// Clears a sticky fault once it has hit often enough, and plays the phone for the poll.
void DriveFaults(FaultRig& rig, const Endpoint& endpoint, Mode mode) {
    if (endpoint.poll) {
        // A one-shot fault is used up once the poll after it arrived; a sticky one is
        // cleared after two failed polls.
        const bool hit =
            mode == Mode::OneShot
                ? rig.Sim().WaitForRequests(endpoint.wait_key, 2, CASE_TIMEOUT)
                : rig.Screen().WaitForCall("ShowMessageBox", CASE_TIMEOUT, endpoint.clear_after);
        if (!hit) {
            return;
        }
        rig.Sim().ClearFaults();
        rig.Sim().Scan();
        rig.Sim().Confirm();
        return;
    }
    if (mode == Mode::StickyThenCleared &&
        rig.Sim().WaitForRequests(endpoint.wait_key, endpoint.clear_after, CASE_TIMEOUT)) {
        rig.Sim().ClearFaults();
    }
}

TEST_P(LoginFaultMatrix, EndsInALoginOrInTheRightErrorWithoutSpinning) {
    const Endpoint& endpoint = std::get<0>(GetParam());
    const Kind& kind = std::get<1>(GetParam());
    const Mode mode = std::get<2>(GetParam());
    FaultRig rig(RigOptions(endpoint, kind, mode));
    ASSERT_TRUE(rig.Started());
    rig.Sim().SetFault(std::string(endpoint.key), FaultFor(endpoint, kind, mode));

    std::thread driver([&rig, &endpoint, mode] { DriveFaults(rig, endpoint, mode); });
    const bool shown = app::StartLogin(rig.Bot());
    const bool ends_in_10001 = mode == Mode::StickyForever && endpoint.fetch;
    bool logged_in = false;
    if (shown && !ends_in_10001) {
        logged_in = rig.Screen().WaitForCall("OpenMainWindow", CASE_TIMEOUT);
    }
    if (endpoint.poll && !logged_in) {
        rig.Screen().Cancel();  // the driver may still wait for a box
    }
    driver.join();

    const Calls calls = rig.Screen().Calls();
    const std::vector<std::string> boxes = rig.Screen().TextsOf("ShowMessageBox");
    if (ends_in_10001) {
        EXPECT_FALSE(shown);
        EXPECT_EQ(boxes, std::vector<std::string>{QrFailedText()});
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().name, "EndProgram");
        // A start that cannot log in is no requested stop: a supervisor sees it fail.
        EXPECT_EQ(calls.back().number, app::EXIT_LOGIN_FAILED);
        // Only when every attempt has failed.
        EXPECT_EQ(rig.RequestCount("jslogin"), 10u);
        EXPECT_EQ(rig.RequestCount("/cgi-bin/mmwebwx-bin/login"), 0u);
        EXPECT_EQ(rig.Screen().CountOf("ShowQrImage"), 0u);
    } else {
        ASSERT_TRUE(shown) << "no QR code";
        ASSERT_TRUE(logged_in) << "no login after the fault";
        EXPECT_EQ(rig.Screen().CountOf("EndProgram"), 0u);
        if (endpoint.poll) {
            EXPECT_EQ(boxes, std::vector<std::string>(boxes.size(), PollFailedText()));
            if (mode == Mode::OneShot) {
                // curl sends a GET once more on a new connection when the kept one was reset
                // before any answer; then the fault never reaches the robot.
                EXPECT_EQ(boxes.size(), kind.kind == sim::FaultKind::Reset ? 0u : 1u);
            }
        } else {
            EXPECT_EQ(boxes, std::vector<std::string>{});
        }
        const std::shared_ptr<const protocol::ProtocolState> state = rig.Bot().State();
        const sim::SessionInfo session = rig.Sim().Session();
        EXPECT_EQ(state->session.uin, session.uin);
        EXPECT_EQ(state->own.UserName, session.user_name);
        EXPECT_FALSE(state->sync_key.json.empty());
        for (const std::string& image : rig.Screen().TextsOf("ShowQrImage")) {
            EXPECT_TRUE(protocol::IsImage(image))
                << "shown as the QR code: " << image.size() << " bytes that are no image";
        }
        if (endpoint.key == INIT.key) {
            // A failed init is tried again by the robot, never resent by the HTTP layer.
            const std::size_t inits = rig.RequestCount("webwxinit");
            if (mode == Mode::OneShot) {
                EXPECT_EQ(inits, 2u);
            } else {
                EXPECT_GE(inits, 3u);
            }
        }
    }
    EXPECT_LT(rig.Sim().Requests().size(), MAX_REQUESTS);
    std::vector<std::string> violations = rig.Sim().Violations();
    if (IsDelay(kind)) {
        std::erase_if(violations, [&endpoint](const std::string& violation) {
            return violation.starts_with(endpoint.complaint);
        });
    }
    EXPECT_TRUE(violations.empty()) << violations.front();
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    const auto& [endpoint, kind, mode] = info.param;
    return std::string(endpoint.name) + "_" + std::string(kind.name) + "_" + ModeName(mode);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEndpoint, LoginFaultMatrix,
    ::testing::Combine(::testing::Values(HOME, JSLOGIN, QR_IMAGE, POLL, REDIRECT, REPORT, INIT),
                       ::testing::ValuesIn(KINDS),
                       ::testing::Values(Mode::OneShot, Mode::StickyThenCleared)),
    CaseName);

INSTANTIATE_TEST_SUITE_P(QrFetchForGood, LoginFaultMatrix,
                         ::testing::Combine(::testing::Values(HOME, JSLOGIN, QR_IMAGE),
                                            ::testing::ValuesIn(KINDS),
                                            ::testing::Values(Mode::StickyForever)),
                         CaseName);

}  // namespace
}  // namespace zelmo::faults
