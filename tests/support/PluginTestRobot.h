#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "config/AccountPaths.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "plugins/EnableState.h"
#include "plugins/PluginHost.h"
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

// The plugin host with its own empty account folder and a recording screen; no service, no
// threads. Libraries are copied in, so every test loads fresh ones with their own state.
class PluginTestRobot {
public:
    PluginTestRobot() : account_dir(dir.Path() + "/account") {
        platform::MakeDirectories(config::PluginFolder(account_dir));
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
        return config::PluginPath(account_dir, file_name);
    }
    std::string EnablePath(std::string_view file_name) const {
        return plugins::EnableFilePath(account_dir, file_name);
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
    const std::string account_dir;
    FakeClock clock;
    StubScreen screen{0.0};
    plugins::PluginHost plugins;
    std::string cookies;  // the session's cookie text, for plugins that want the account
};

}  // namespace zelmo::test
