#include "headless/HeadlessRun.h"

#include <cstdio>
#include <memory>

#include "app/AccountPaths.h"
#include "app/GbkLiteral.h"
#include "app/MessageLog.h"
#include "app/Robot.h"
#include "app/Startup.h"
#include "config/Settings.h"
#include "headless/HeadlessScreen.h"
#include "messages/KnowledgeBase.h"
#include "platform/ManualResetEvent.h"
#include "plugins/PluginHost.h"

namespace zelmo::headless {

void StopRobot(app::Robot& robot, HeadlessScreen& screen) {
    // Set by the service's logout too, which has already said goodbye.
    const bool already_stopped = robot.HeartbeatStop().exchange(true);
    if (screen.HandedOver() && !already_stopped) {
        auto sent = std::make_shared<platform::ManualResetEvent>();
        if (robot.StartThread([&robot, sent] {
                app::SendLogout(robot);
                sent->Set();
            })) {
            sent->WaitFor(LOGOUT_WAIT);
        }
    }
    robot.Shutdown();
    if (screen.AccountReady() && robot.Knowledge().Dirty() &&
        screen.AskYesNo(app::Gbk("提示"), app::Gbk("您还有未储存的的词库，是否保存？"))) {
        const std::string path = app::ConfigPath(robot.AccountDir(), app::REPLY_BASE_FILE);
        const messages::ReplyBaseSave saved = robot.Knowledge().Save(path);
        if (!saved) {
            screen.PrintLine("stop", "could not write " + saved.path);
        } else if (saved.redirected) {
            screen.PrintLine("stop", "knowledge base written to " + saved.path + " (" + path +
                                         " could not be read and is left as it was)");
        }
    }
}

std::string UnsavedPairsPath(const std::string& reply_base_path, long long unix_ms) {
    const app::LocalTime time = app::ToLocalTime(unix_ms);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d-%02d%02d%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return reply_base_path + ".unsaved-" + digits;
}

void ReloadFiles(app::Robot& robot, HeadlessScreen& screen) {
    if (!screen.Ready()) {
        screen.PrintLine("reload", "skipped: the start-up has not finished");
        return;
    }
    const std::string& dir = robot.AccountDir();
    const std::string settings_path = app::ConfigPath(dir, app::SETTINGS_FILE);
    robot.Settings().Set(config::LoadSettings(settings_path));
    robot.Settings().SetMass(config::LoadMassSettings(settings_path));

    const std::string reply_path = app::ConfigPath(dir, app::REPLY_BASE_FILE);
    bool reload_base = true;
    if (robot.Knowledge().Dirty()) {
        const std::string side_path = UnsavedPairsPath(reply_path, robot.Clock().UnixMs());
        reload_base = robot.Knowledge().Save(side_path);
        // Without the side file the base stays as it is, learned pairs and all.
        screen.PrintLine(
            "reload", reload_base
                          ? "unsaved knowledge-base pairs written to " + side_path
                          : "could not write " + side_path + "; the knowledge base stays as it is");
    }
    if (reload_base) {
        robot.Knowledge().Load(reply_path);
    }

    plugins::ScanPlugins(robot, true);
    plugins::LoadEnableStates(robot);
    screen.PrintLine("reload", std::string(reload_base ? "settings, knowledge base and plugins"
                                                       : "settings and plugins") +
                                   " read from " + dir);
}

}  // namespace zelmo::headless
