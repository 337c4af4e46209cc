#include "app/Startup.h"

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "contacts/ContactRequests.h"
#include "jobs/Backoff.h"
#include "mass/MassState.h"
#include "messages/LangTemplates.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "plugins/PluginHost.h"
#include "protocol/HeadImage.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

namespace {

void PrepareAccountFolder(Robot& robot) {
    const std::string dir = config::AccountDirFor(robot.Options().data_root, robot.State().own.Uin);
    // Failures are not reported: every loader below falls back to its defaults.
    platform::MakeDirectories(dir + "/config");
    platform::MakeDirectories(config::PluginFolder(dir));
    robot.SetAccountDir(dir);
    robot.Screen().CreateHiddenWindows();
}

void LoadConfiguration(Robot& robot) {
    const std::string& dir = robot.AccountDir();
    robot.Templates() = messages::LoadLangTemplates(config::ConfigPath(dir, config::LANG_FILE));
    const std::string settings_path = config::ConfigPath(dir, config::SETTINGS_FILE);
    robot.Settings().Set(config::LoadSettings(settings_path));
    robot.Settings().SetMass(config::LoadMassSettings(settings_path));
    robot.Knowledge().Load(config::ConfigPath(dir, config::REPLY_BASE_FILE));
    plugins::ScanPlugins(robot.Plugins(), dir, robot.Screen(), false);
    plugins::LoadEnableStates(robot.Plugins(), dir);
    robot.Screen().ShowMassSettings();
    mass::LoadMassTexts(robot.Mass(), dir, robot.Screen());
}

void StartQueueWorkers(Robot& robot) {
    for (int i = 0; i < QUEUE_WORKERS; ++i) {
        robot.StartThread([&robot] { QueueWorker(robot); });
    }
    robot.StartThread([&robot] { SenderThread(robot); });
}

void LoadOwnHeader(Robot& robot) {
    const protocol::ProtocolState& state = robot.State();
    const std::string avatar = protocol::FetchHeadImage(robot.Link(), state);
    robot.Screen().ShowOwnHeader(avatar, state.own.NickName, state.own.Signature);
}

// The full list again and again, backing off, until the service gives it; then the lists
// show what came. Its own thread, so the start-up goes on with the init answer's contacts.
void KeepFetchingContactList(Robot& robot) {
    const bool fetched = jobs::RetryUntilDone(robot.Pause(), [&robot] {
        return contacts::FetchContactList(robot.Link(), robot.State(), robot.Contacts(),
                                          robot.Queue());
    });
    if (fetched) {
        robot.Screen().RefreshContactLists();
        robot.Screen().FillMassCandidates();
    }
}

void LoadContacts(Robot& robot) {
    contacts::AddContacts(robot.Contacts(), robot.Queue(), robot.State().init_answer);
    if (!contacts::FetchContactList(robot.Link(), robot.State(), robot.Contacts(), robot.Queue())) {
        robot.StartThread([&robot] { KeepFetchingContactList(robot); });
    }
    contacts::SendStatusNotify(robot.Link(), robot.State());
    // Only the SyncKey matters: what the first sync brings is never handed on.
    protocol::SyncAnswer discarded;
    protocol::WebSync(robot.Link(), robot.State(), discarded);
    robot.Screen().RefreshContactLists();
    robot.Screen().FillMassCandidates();
}

}  // namespace

void RunStartup(Robot& robot) {
    UiPort& screen = robot.Screen();
    screen.ShowStatus(platform::Gbk("[1/5] 初始化　"), false);
    PrepareAccountFolder(robot);

    screen.ShowStatus(platform::Gbk("[2/5] 载入配置"), false);
    LoadConfiguration(robot);

    screen.ShowStatus(platform::Gbk("[3/5] 准备队列"), false);
    StartQueueWorkers(robot);

    screen.ShowStatus(platform::Gbk("[4/5] 微信资料"), false);
    LoadOwnHeader(robot);
    LoadContacts(robot);

    screen.ShowStatus(platform::Gbk("[5/5] 心跳监听"), false);
    robot.StartThread([&robot] { HeartbeatLoop(robot); });
    screen.FadeOutStatus();
    screen.CloseStatus();
    screen.MainWindowReady();
}

bool ConfirmClose(Robot& robot) {
    UiPort& screen = robot.Screen();
    if (robot.Knowledge().Dirty() &&
        screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您还有未储存的的词库，是否保存？"))) {
        robot.Knowledge().Save(config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE));
    }
    if (!screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您确定要退出微信机器人吗"))) {
        return false;
    }
    robot.HeartbeatStop().store(true);
    protocol::SendLogout(robot.Link(), robot.State());
    screen.FadeOutMainWindow();
    return true;
}

}  // namespace zelmo::app
