#include "app/Startup.h"

#include <memory>
#include <string>

#include "app/ExitCodes.h"
#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "app/Robot.h"
#include "app/SessionFile.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "contacts/ContactRequests.h"
#include "mass/MassState.h"
#include "messages/LangTemplates.h"
#include "platform/Files.h"
#include "platform/GbkLiteral.h"
#include "platform/ManualResetEvent.h"
#include "plugins/PluginHost.h"
#include "protocol/HeadImage.h"
#include "protocol/SyncRequests.h"

namespace zelmo::app {

namespace {

void PrepareAccountFolder(Robot& robot) {
    const std::string dir =
        config::AccountDirFor(robot.Options().data_root, robot.State()->own.Uin);
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
    KeepSession(robot);
}

void StartQueueWorkers(Robot& robot) {
    for (int i = 0; i < QUEUE_WORKERS; ++i) {
        robot.StartThread([&robot] { QueueWorker(robot); });
    }
}

void LoadOwnHeader(Robot& robot) {
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    const std::string avatar = protocol::FetchHeadImage(robot.Link(), *state);
    robot.Screen().ShowOwnHeader(avatar, state->own.NickName, state->own.Signature);
}

}  // namespace

void RunSessionSteps(Robot& robot, SessionStepsAfter after) {
    std::string& init_answer = robot.Login().draft.init_answer;
    contacts::ParseContacts(robot.Contacts(), robot.Queue(), init_answer);
    // Nothing reads it again; with many contacts it is megabytes.
    init_answer.clear();
    init_answer.shrink_to_fit();
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    contacts::FetchContactList(robot.Link(), *state, robot.Contacts(), robot.Queue());
    contacts::SendStatusNotify(robot.Link(), *state);
    // Only the SyncKey matters: what the first sync brings is never handed on.
    std::string discarded;
    SyncAndKeepKey(robot, discarded);
    robot.Screen().RefreshContactLists();
    if (after == SessionStepsAfter::Start) {
        robot.Screen().FillMassCandidates();
    }
}

void KeepSession(Robot& robot) {
    const std::string& data_root = robot.Options().data_root;
    if (robot.Settings().Get()->自动重新登录) {
        SaveSession(data_root, *robot.State());
    } else {
        ForgetSession(data_root);
    }
}

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
    RunSessionSteps(robot, SessionStepsAfter::Start);

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
    protocol::SendLogout(robot.Link(), *robot.State());
    MarkSessionLoggedOut(robot.Options().data_root);
    screen.FadeOutMainWindow();
    return true;
}

void StopOnSignal(Robot& robot) {
    UiPort& screen = robot.Screen();
    if (!robot.AccountDir().empty() && robot.Knowledge().Dirty()) {
        robot.Knowledge().Save(config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE));
    }
    const bool logged_in = !robot.State()->session.sid.empty();
    if (logged_in && !robot.HeartbeatStop().exchange(true)) {
        // On a robot thread, so that a service that does not answer cannot hold the end.
        auto sent = std::make_shared<platform::ManualResetEvent>();
        if (robot.StartThread([&robot, sent] {
                protocol::SendLogout(robot.Link(), *robot.State());
                sent->Set();
            })) {
            sent->WaitFor(STOP_LOGOUT_WAIT);
        }
        MarkSessionLoggedOut(robot.Options().data_root);
    }
    screen.EndProgram(EXIT_STOPPED);
}

}  // namespace zelmo::app
