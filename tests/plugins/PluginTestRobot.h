#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/AccountPaths.h"
#include "app/Robot.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "plugins/EnableState.h"
#include "support/FakeClock.h"
#include "support/StubScreen.h"
#include "support/TestSupport.h"

namespace zelmo::test {

// The plugin libraries of the test build.
inline std::string ExamplePlugin(std::string_view name) {
    return std::string(ZELMO_EXAMPLE_PLUGIN_DIR) + "/" + std::string(name) + ".mzp.so";
}
inline std::string TestPlugin(std::string_view name) {
    return std::string(ZELMO_TEST_PLUGIN_DIR) + "/" + std::string(name) + ".mzp.so";
}

// A robot on a recording screen with its own empty account folder; no service, no
// threads. Libraries are copied in, so every test loads fresh ones with their own state.
class PluginTestRobot {
public:
    PluginTestRobot() : robot({}, clock, screen) {
        robot.SetAccountDir(dir.Path() + "/account");
        platform::MakeDirectories(app::PluginFolder(robot.AccountDir()));
    }

    // Copies a built library into the plugin folder as `file_name`; false on failure. The
    // copy is renamed into place: writing over a loaded library would change its mapped
    // code under the robot.
    bool Install(const std::string& library, std::string_view file_name) {
        const std::string target = PluginPath(file_name);
        const std::string part = target + ".part";
        std::error_code error;
        std::filesystem::copy_file(library, part, std::filesystem::copy_options::overwrite_existing,
                                   error);
        if (!error) {
            std::filesystem::rename(part, target, error);
        }
        return !error;
    }

    std::string PluginPath(std::string_view file_name) const {
        return app::PluginPath(robot.AccountDir(), file_name);
    }
    std::string EnablePath(std::string_view file_name) const {
        return plugins::EnableFilePath(robot.AccountDir(), file_name);
    }
    // The enable file's value for one key (GBK), empty when absent.
    std::string EnableValue(std::string_view file_name, std::string_view key) const {
        return platform::ReadIniItem(EnablePath(file_name), plugins::EnableSection(), key);
    }
    bool SetEnableValue(std::string_view file_name, std::string_view key,
                        std::string_view value) const {
        return platform::WriteIniItem(EnablePath(file_name), plugins::EnableSection(), key, value);
    }

    TempDir dir;
    FakeClock clock;
    StubScreen screen{0.0};
    app::Robot robot;
};

}  // namespace zelmo::test
