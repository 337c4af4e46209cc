#include "app/Startup.h"

#include <optional>
#include <utility>

#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "app/Robot.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "contacts/ContactRequests.h"
#include "jobs/Backoff.h"
#include "mass/MassState.h"
#include "messages/FileNotices.h"
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

// A file that could not be read or was converted is told of once, after everything is
// loaded.
void Tell(UiPort& screen, const platform::TextFileReport& report, std::string_view consequence) {
    if (const std::optional<messages::FileNotice> notice =
            messages::ReadNotice(report, platform::Gbk(consequence))) {
        screen.ShowMessageBox(notice->title, notice->text);
    }
}

void LoadConfiguration(Robot& robot) {
    const std::string& dir = robot.AccountDir();
    messages::LangTemplatesFile lang =
        messages::LoadLangTemplatesFile(config::ConfigPath(dir, config::LANG_FILE));
    robot.Templates() = std::move(lang.templates);
    config::SettingsFile settings =
        config::LoadSettingsFile(config::ConfigPath(dir, config::SETTINGS_FILE));
    robot.Settings().Set(std::move(settings.settings));
    robot.Settings().SetMass(std::move(settings.mass));
    const platform::TextFileReport replies =
        robot.Knowledge().Load(config::ConfigPath(dir, config::REPLY_BASE_FILE));
    plugins::ScanPlugins(robot.Plugins(), dir, robot.Screen(), false);
    plugins::LoadEnableStates(robot.Plugins(), dir);
    robot.Screen().ShowMassSettings();
    const platform::TextFileReport mass_texts =
        mass::LoadMassTexts(robot.Mass(), dir, robot.Screen());

    UiPort& screen = robot.Screen();
    Tell(screen, lang.report, "回复模板使用默认值。");
    Tell(screen, settings.report, "设置使用默认值，不会保存到此文件。");
    Tell(screen, replies, "词库从空开始，保存时写入它旁边的新文件。");
    Tell(screen, mass_texts, "群发文本为空，不会保存到此文件。");
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
        const messages::ReplyBaseSave saved =
            robot.Knowledge().Save(config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE));
        if (const std::optional<messages::FileNotice> notice = messages::SaveNotice(saved)) {
            screen.ShowMessageBox(notice->title, notice->text);
        }
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
