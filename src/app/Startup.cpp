#include "app/Startup.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/ExitCodes.h"
#include "app/Heartbeat.h"
#include "app/JobDispatch.h"
#include "app/KeyAssignment.h"
#include "app/ModelReplies.h"
#include "app/OneBotStart.h"
#include "app/Relogin.h"
#include "app/Robot.h"
#include "app/SessionFile.h"
#include "config/AccountPaths.h"
#include "config/Settings.h"
#include "contacts/ContactRequests.h"
#include "jobs/Backoff.h"
#include "mass/MassState.h"
#include "messages/FileNotices.h"
#include "messages/LangTemplates.h"
#include "platform/Files.h"
#include "platform/FreeMemory.h"
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
    KeepSession(robot);

    UiPort& screen = robot.Screen();
    Tell(screen, lang.report, "回复模板使用默认值。");
    Tell(screen, settings.report, "设置使用默认值，不会保存到此文件。");
    Tell(screen, replies, "词库从空开始，保存时写入它旁边的新文件。");
    Tell(screen, mass_texts, "群发文本为空，不会保存到此文件。");
    TellModelSettings(robot);
}

void StartQueueWorkers(Robot& robot) {
    for (int i = 0; i < QUEUE_WORKERS; ++i) {
        robot.StartThread([&robot] { QueueWorker(robot); });
    }
    robot.StartThread([&robot] { SenderThread(robot); });
    robot.Media().Start();
    robot.Model().Start();
}

void LoadOwnHeader(Robot& robot) {
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    const std::string avatar = protocol::FetchHeadImage(robot.Link(), *state);
    robot.Screen().ShowOwnHeader(avatar, state->own.NickName, state->own.Signature);
}

// The full list again and again, backing off, until the service gives it; then the lists
// show what came. Its own thread, so the start-up goes on with the init answer's contacts.
void KeepFetchingContactList(Robot& robot, SessionStepsAfter after) {
    const bool fetched = jobs::RetryUntilDone(robot.Pause(), [&robot] {
        return contacts::FetchContactList(robot.Link(), *robot.State(), robot.Contacts(),
                                          robot.Queue());
    });
    if (fetched) {
        AssignContactKeys(robot, KeysFor::More);
        robot.Screen().RefreshContactLists();
        if (after == SessionStepsAfter::Start) {
            robot.Screen().FillMassCandidates();
        }
    }
}

}  // namespace

void RunSessionSteps(Robot& robot, SessionStepsAfter after) {
    // The service names every contact anew at each login.
    robot.Contacts().BeginLogin();
    std::string& init_answer = robot.Login().draft.init_answer;
    contacts::AddContacts(robot.Contacts(), robot.Queue(), init_answer);
    // Nothing reads it again; with many contacts it is megabytes.
    init_answer.clear();
    init_answer.shrink_to_fit();
    const std::shared_ptr<const protocol::ProtocolState> state = robot.State();
    if (!contacts::FetchContactList(robot.Link(), *state, robot.Contacts(), robot.Queue())) {
        robot.StartThread([&robot, after] { KeepFetchingContactList(robot, after); });
    }
    // Before anything is sent on the new session: texts queued before a re-login reach
    // their contacts through these keys.
    AssignContactKeys(robot, KeysFor::NewLogin);
    contacts::SendStatusNotify(robot.Link(), *state);
    protocol::SyncAnswer first;
    if (after == SessionStepsAfter::Start) {
        // What the first sync brings is history: only its SyncKey counts, and it must count
        // before the heartbeat polls, or the heartbeat's first sync brings the history back
        // to be answered. A session the service ended meanwhile is the heartbeat's to see.
        jobs::RetryUntilDone(robot.Pause(), [&robot, &first] {
            return SyncAndKeepKey(robot, first) || SyncAnswerEndsSession(first);
        });
    } else if (SyncAndKeepKey(robot, first)) {
        // After a re-login it holds what came during the gap; the handled ids keep out what
        // the robot handled before the session ended.
        PostSyncNews(robot.Queue(), robot.HandledMessages(), first);
        if (!first.messages.empty()) {
            robot.Watch().Active(state->generation);
        }
    }
    robot.Screen().RefreshContactLists();
    if (after == SessionStepsAfter::Start) {
        robot.Screen().FillMassCandidates();
    }
}

void KeepSession(Robot& robot) {
    const std::string& data_root = robot.Options().data_root;
    std::lock_guard lock(robot.SessionFileMutex());
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
    // Before any key is assigned: the keys of earlier runs come from it.
    robot.Archive().Open();
    if (!StartOneBot(robot)) {
        screen.CloseStatus();
        return;
    }

    screen.ShowStatus(platform::Gbk("[3/5] 准备队列"), false);
    StartQueueWorkers(robot);

    screen.ShowStatus(platform::Gbk("[4/5] 微信资料"), false);
    LoadOwnHeader(robot);
    RunSessionSteps(robot, SessionStepsAfter::Start);

    screen.ShowStatus(platform::Gbk("[5/5] 心跳监听"), false);
    // Before the heartbeat, whose re-login would say offline.
    TellOneBotOnline(robot, true);
    robot.StartThread([&robot] { HeartbeatLoop(robot); });
    // The start-up's big answers (the whole contact list) are freed by now; their pages
    // go back instead of staying resident for the whole run.
    platform::ReturnFreeMemory();
    screen.FadeOutStatus();
    screen.CloseStatus();
    screen.MainWindowReady();
}

bool ConfirmClose(Robot& robot) {
    UiPort& screen = robot.Screen();
    // Once the user is asked about the save, nothing more may be learned: a pair learned
    // while a box is open would be in neither the file nor the next run.
    robot.HoldIntake();
    if (robot.Knowledge().Dirty() &&
        screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您还有未储存的的词库，是否保存？"))) {
        const messages::ReplyBaseSave saved =
            robot.Knowledge().Save(config::ConfigPath(robot.AccountDir(), config::REPLY_BASE_FILE));
        if (const std::optional<messages::FileNotice> notice = messages::SaveNotice(saved)) {
            screen.ShowMessageBox(notice->title, notice->text);
        }
    }
    if (!screen.AskYesNo(platform::Gbk("提示"), platform::Gbk("您确定要退出微信机器人吗"))) {
        // The robot goes on: what waited is handled now, and learns as before.
        robot.ResumeIntake();
        return false;
    }
    robot.QuitConfirmed().store(true);
    robot.HeartbeatStop().store(true);
    protocol::SendLogout(robot.Link(), *robot.State());
    MarkLoggedOut(robot);
    screen.FadeOutMainWindow();
    return true;
}

void StopOnSignal(Robot& robot) {
    UiPort& screen = robot.Screen();
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
        MarkLoggedOut(robot);
    }
    screen.EndProgram(EXIT_STOPPED);
}

}  // namespace zelmo::app
