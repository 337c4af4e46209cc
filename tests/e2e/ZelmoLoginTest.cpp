#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

using zelmo::test::ChildProcess;

// What follows `label` on the first line from `*next` on that holds it; empty on time-out.
std::string TextAfter(ChildProcess& child, std::size_t* next, std::string_view label,
                      std::chrono::milliseconds timeout) {
    const std::optional<std::string> line = child.WaitForLine(next, label, timeout);
    return line ? line->substr(line->find(label) + label.size()) : std::string();
}

nlohmann::json GetJson(httplib::Client& control, const std::string& path) {
    const httplib::Result result = control.Get(path);
    if (!result || result->status != 200) {
        return nullptr;
    }
    return nlohmann::json::parse(result->body, nullptr, false);
}

// Both programs as a user runs them: zelmo-sim scans and confirms by itself, and the
// test watches through its control API.
TEST(ZelmoLoginTest, BinaryLogsInToTheSimulatorAndReachesWebwxinit) {
    zelmo::test::TempDir dir;
    const std::string binaries = ZELMO_BINARY_DIR;
    const std::string sim_log = dir.Path() + "/sim-stderr.txt";
    ChildProcess simulator({binaries + "/tools/sim/zelmo-sim", "--workdir", dir.Path() + "/sim",
                            "--port", "0", "--auto-scan-ms", "300", "--auto-confirm-ms", "300"},
                           {}, sim_log);
    std::size_t next = 0;
    const std::string profile = TextAfter(simulator, &next, "profile: ", 20s);
    const std::string control_url = TextAfter(simulator, &next, "control: ", 5s);
    ASSERT_FALSE(control_url.empty()) << zelmo::platform::ReadFile(sim_log);
    httplib::Client control(control_url);
    control.set_read_timeout(30, 0);

    const std::string log = dir.Path() + "/stderr.txt";
    ChildProcess zelmo({binaries + "/src/zelmo", "--service", profile, "--data-dir",
                        dir.Path() + "/data", "--auto-answer", "yes"},
                       {"QT_QPA_PLATFORM=offscreen", "XDG_STATE_HOME=" + dir.Path() + "/state",
                        "XDG_CONFIG_HOME=" + dir.Path() + "/config"},
                       log);
    const nlohmann::json waited = GetJson(control, "/wait?path=webwxinit&timeout_ms=20000");
    ASSERT_TRUE(waited.is_object() && waited.value("ok", false)) << zelmo::platform::ReadFile(log);
    const nlohmann::json session = GetJson(control, "/session");
    EXPECT_TRUE(session.value("logged_in", false));

    // The event log tells the login's steps, and none of the session's secrets.
    const std::string events = zelmo::platform::ReadFile(dir.Path() + "/state/zelmo/zelmo.log");
    for (const char* step :
         {" start zelmo ", " login 等待手机微信扫码\n", " login 手机已确认登入微信\n"}) {
        EXPECT_NE(events.find(step), std::string::npos) << step << " not in\n" << events;
    }
    for (const char* key : {"skey", "sid", "pass_ticket", "uuid"}) {
        const std::string secret = session.value(key, "");
        ASSERT_GT(secret.size(), 4u) << key;
        EXPECT_EQ(events.find(secret.substr(1)), std::string::npos) << key << " in\n" << events;
    }
    EXPECT_EQ(GetJson(control, "/violations"), nlohmann::json::array());
    EXPECT_TRUE(zelmo.Running());
    // No message box came up on the way.
    EXPECT_EQ(zelmo::platform::ReadFile(log).find("错误提示"), std::string::npos);
}

}  // namespace
