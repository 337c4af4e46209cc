#include "headless/HeadlessRun.h"

#include <memory>
#include <string>
#include <vector>

#include "app/LoginGuard.h"
#include "app/ModelReplies.h"
#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "config/SettingsReload.h"
#include "headless/HeadlessScreen.h"
#include "messages/KnowledgeBase.h"
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
        app::MarkLoggedOut(robot);
    }
    robot.Shutdown();
    // The answer below decides; the end of the run saves nothing more.
    robot.QuitConfirmed().store(true);
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

void ReloadFiles(app::Robot& robot, HeadlessScreen& screen) {
    if (!screen.Ready()) {
        screen.PrintLine("reload", "skipped: the start-up has not finished");
        return;
    }
    const std::string& dir = robot.AccountDir();
    std::vector<std::string> read;
    const std::string settings_path = config::ConfigPath(dir, config::SETTINGS_FILE);
    config::SettingsReload settings = config::ReloadSettingsFile(settings_path);
    if (settings.file) {
        robot.Settings().Set(std::move(settings.file->settings));
        robot.Settings().SetMass(std::move(settings.file->mass));
        read.emplace_back("settings");
        app::TellModelSettings(robot);
    } else {
        // The defaults would empty the shield list and answer whom it blocks.
        screen.PrintLine("reload", "settings not read from " + settings_path + " (" +
                                       settings.problem + "); the settings in force stay");
    }

    const std::string reply_path = config::ConfigPath(dir, config::REPLY_BASE_FILE);
    const messages::ReplyBaseReload base = robot.Knowledge().Reload(reply_path);
    if (base.done) {
        read.emplace_back("knowledge base");
        if (base.carried > 0) {
            screen.PrintLine("reload", "unsaved learned pairs kept in the knowledge base: " +
                                           std::to_string(base.carried));
        }
    } else {
        screen.PrintLine("reload", "knowledge base not read from " + reply_path +
                                       " (the editor has unsaved changes)");
    }

    plugins::ScanPlugins(robot.Plugins(), dir, robot.Screen(), true);
    plugins::LoadEnableStates(robot.Plugins(), dir);
    read.emplace_back("plugins");
    std::string what;
    for (std::size_t i = 0; i < read.size(); ++i) {
        what += (i == 0 ? "" : i + 1 == read.size() ? " and " : ", ") + read[i];
    }
    screen.PrintLine("reload", what + " read from " + dir);
}

}  // namespace zelmo::headless
