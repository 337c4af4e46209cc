#include "headless/HeadlessRun.h"

#include <cstdio>
#include <memory>

#include "app/Robot.h"
#include "app/SessionFile.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "headless/HeadlessScreen.h"
#include "messages/KnowledgeBase.h"
#include "messages/MessageLog.h"
#include "platform/GbkLiteral.h"
#include "platform/ManualResetEvent.h"
#include "plugins/PluginHost.h"
#include "protocol/SyncRequests.h"

namespace zelmo::headless {

void StopRobot(app::Robot& robot, HeadlessScreen& screen) {
    // Set by the service's logout too, which has already said goodbye.
    const bool already_stopped = robot.HeartbeatStop().exchange(true);
    if (screen.HandedOver() && !already_stopped) {
        auto sent = std::make_shared<platform::ManualResetEvent>();
        if (robot.StartThread([&robot, sent] {
                protocol::SendLogout(robot.Link(), *robot.State());
                sent->Set();
            })) {
            sent->WaitFor(LOGOUT_WAIT);
        }
        app::MarkSessionLoggedOut(robot.Options().data_root);
    }
    robot.Shutdown();
    if (screen.AccountReady() && robot.Knowledge().Dirty() &&
        screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您还有未储存的的词库，是否保存？"))) {
        const std::string path = config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE);
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
    const messages::LocalTime time = messages::ToLocalTime(unix_ms);
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
    const std::string settings_path = config::ConfigPath(dir, config::SETTINGS_FILE);
    robot.Settings().Set(config::LoadSettings(settings_path));
    robot.Settings().SetMass(config::LoadMassSettings(settings_path));

    const std::string reply_path = config::ConfigPath(dir, config::REPLY_BASE_FILE);
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

    plugins::ScanPlugins(robot.Plugins(), dir, robot.Screen(), true);
    plugins::LoadEnableStates(robot.Plugins(), dir);
    screen.PrintLine("reload", std::string(reload_base ? "settings, knowledge base and plugins"
                                                       : "settings and plugins") +
                                   " read from " + dir);
}

}  // namespace zelmo::headless
