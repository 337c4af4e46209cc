#include "app/Startup.h"

#include <optional>
#include <utility>

#include "app/AccountPaths.h"
#include "app/GbkLiteral.h"
#include "app/Robot.h"
#include "config/Settings.h"
#include "contacts/ContactRequests.h"
#include "mass/MassState.h"
#include "messages/FileNotices.h"
#include "messages/IncomingQueue.h"
#include "messages/LangTemplates.h"
#include "platform/Files.h"
#include "plugins/PluginHost.h"
#include "protocol/Heartbeat.h"
#include "protocol/Templates.h"

namespace zelmo::app {

namespace {

constexpr std::string_view LOGOUT_PATH =
    "/cgi-bin/mmwebwx-bin/webwxlogout?redirect=1&type=0&skey=%40{skey}";

void PrepareAccountFolder(Robot& robot) {
    const std::string dir = AccountDirFor(robot.Options().data_root, robot.State().own.Uin);
    // Failures are not reported: every loader below falls back to its defaults.
    platform::MakeDirectories(dir + "/config");
    platform::MakeDirectories(PluginFolder(dir));
    robot.SetAccountDir(dir);
    robot.Screen().CreateHiddenWindows();
}

// A file that could not be read or was converted is told of once, after everything is
// loaded.
void Tell(UiPort& screen, const platform::TextFileReport& report, std::string_view consequence) {
    if (const std::optional<messages::FileNotice> notice =
            messages::ReadNotice(report, Gbk(consequence))) {
        screen.ShowMessageBox(notice->title, notice->text);
    }
}

void LoadConfiguration(Robot& robot) {
    const std::string& dir = robot.AccountDir();
    messages::LangTemplatesFile lang = messages::LoadLangTemplatesFile(ConfigPath(dir, LANG_FILE));
    robot.Templates() = std::move(lang.templates);
    config::SettingsFile settings = config::LoadSettingsFile(ConfigPath(dir, SETTINGS_FILE));
    robot.Settings().Set(std::move(settings.settings));
    robot.Settings().SetMass(std::move(settings.mass));
    const platform::TextFileReport replies =
        robot.Knowledge().Load(ConfigPath(dir, REPLY_BASE_FILE));
    plugins::ScanPlugins(robot, false);
    plugins::LoadEnableStates(robot);
    robot.Screen().ShowMassSettings();
    const platform::TextFileReport mass_texts = mass::LoadMassTexts(robot);

    UiPort& screen = robot.Screen();
    Tell(screen, lang.report, "回复模板使用默认值。");
    Tell(screen, settings.report, "设置使用默认值，不会保存到此文件。");
    Tell(screen, replies, "词库从空开始，保存时写入它旁边的新文件。");
    Tell(screen, mass_texts, "群发文本为空，不会保存到此文件。");
}

void StartQueueWorkers(Robot& robot) {
    for (int i = 0; i < QUEUE_WORKERS; ++i) {
        robot.StartThread([&robot] { messages::QueueWorker(robot); });
    }
}

void LoadOwnHeader(Robot& robot) {
    const protocol::ProtocolState& state = robot.State();
    platform::RequestOptions options;
    options.cookie_header = state.session.cookies;
    const std::string avatar = state.own.HeadImgUrl.empty()
                                   ? std::string()
                                   : robot.Web().Request(state.own.HeadImgUrl, options);
    robot.Screen().ShowOwnHeader(avatar, state.own.NickName, state.own.Signature);
}

void LoadContacts(Robot& robot) {
    contacts::ParseContacts(robot.Contacts(), robot.Queue(), robot.State().init_answer);
    contacts::FetchContactList(robot);
    contacts::SendStatusNotify(robot);
    // Only the SyncKey matters: what the first sync brings is never handed on.
    std::string discarded;
    protocol::WebSync(robot, discarded);
    robot.Screen().RefreshContactLists();
    robot.Screen().FillMassCandidates();
}

}  // namespace

std::string AccountDirFor(std::string_view data_root, std::string_view uin) {
    return std::string(data_root) + "/" + std::string(uin);
}

void RunStartup(Robot& robot) {
    UiPort& screen = robot.Screen();
    screen.ShowStatus(Gbk("[1/5] 初始化　"), false);
    PrepareAccountFolder(robot);

    screen.ShowStatus(Gbk("[2/5] 载入配置"), false);
    LoadConfiguration(robot);

    screen.ShowStatus(Gbk("[3/5] 准备队列"), false);
    StartQueueWorkers(robot);

    screen.ShowStatus(Gbk("[4/5] 微信资料"), false);
    LoadOwnHeader(robot);
    LoadContacts(robot);

    screen.ShowStatus(Gbk("[5/5] 心跳监听"), false);
    robot.StartThread([&robot] { protocol::HeartbeatLoop(robot); });
    screen.FadeOutStatus();
    screen.CloseStatus();
    screen.MainWindowReady();
}

bool ConfirmClose(Robot& robot) {
    UiPort& screen = robot.Screen();
    if (robot.Knowledge().Dirty() &&
        screen.AskYesNo(Gbk("提示"), Gbk("您还有未储存的的词库，是否保存？"))) {
        const messages::ReplyBaseSave saved =
            robot.Knowledge().Save(ConfigPath(robot.AccountDir(), REPLY_BASE_FILE));
        if (const std::optional<messages::FileNotice> notice = messages::SaveNotice(saved)) {
            screen.ShowMessageBox(notice->title, notice->text);
        }
    }
    if (!screen.AskYesNo(Gbk("提示"), Gbk("您确定要退出微信机器人吗"))) {
        return false;
    }
    robot.HeartbeatStop().store(true);
    SendLogout(robot);
    screen.FadeOutMainWindow();
    return true;
}

void SendLogout(Robot& robot) {
    const protocol::ProtocolState& state = robot.State();
    const std::string url = protocol::WebUrl(robot.Profile(), state.session.fun) +
                            protocol::FillTemplate(LOGOUT_PATH, state, robot.Clock());
    platform::RequestOptions options;
    options.method = "post";
    options.cookie_header = state.session.cookies;
    robot.Web().Request(url, options);
}

}  // namespace zelmo::app
