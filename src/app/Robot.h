#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ai/ChatContext.h"
#include "ai/ModelQueue.h"
#include "app/AccountArchive.h"
#include "app/ArchiveContext.h"
#include "app/LoginRun.h"
#include "app/MediaDownloads.h"
#include "app/PluginServices.h"
#include "app/RunOptions.h"
#include "app/SessionWatch.h"
#include "app/UiPort.h"
#include "config/SettingsStore.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "jobs/JobQueue.h"
#include "jobs/ThreadStarter.h"
#include "mass/MassSender.h"
#include "mass/MassState.h"
#include "messages/Intake.h"
#include "messages/KnowledgeBase.h"
#include "messages/LangTemplates.h"
#include "messages/MessageEvents.h"
#include "messages/MessageLog.h"
#include "messages/ModelContextFeed.h"
#include "messages/ReplyGuard.h"
#include "messages/ReplySources.h"
#include "messages/Sending.h"
#include "onebot/OneBotService.h"
#include "platform/Clock.h"
#include "platform/ManualResetEvent.h"
#include "platform/Pause.h"
#include "platform/WebClient.h"
#include "plugins/HostCalls.h"
#include "plugins/PluginHost.h"
#include "protocol/Connection.h"
#include "protocol/RecentMessageIds.h"
#include "protocol/ServiceLink.h"
#include "protocol/ServiceProfile.h"
#include "protocol/Session.h"
#include "protocol/SessionStore.h"

namespace zelmo::app {

// The composition root of one run: builds the parts every subsystem works on, hands each
// function the parts it uses, and owns the threads it starts, joining them when it dies, so
// a test can build a robot against a simulator and tear it down at once.
class Robot {
public:
    Robot(RunOptions options, platform::Clock& clock, UiPort& screen);
    ~Robot();
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;

    const RunOptions& Options() const { return m_options; }
    const protocol::ServiceProfile& Profile() const { return m_profile; }
    const platform::WebClient& Web() const { return m_web; }
    platform::Clock& Clock() const { return m_clock; }
    UiPort& Screen() const { return m_screen; }
    protocol::ServiceLink Link() const { return {m_web, m_profile, m_clock}; }

    // The logged-in session as it is now: a snapshot that never changes under the caller.
    // A login publishes a new one, the heartbeat each new SyncKey.
    std::shared_ptr<const protocol::ProtocolState> State() const { return m_sessions.Snapshot(); }
    protocol::SessionStore& Sessions() { return m_sessions; }
    // What the login threads share, the session they build included.
    LoginRun& Login() { return m_login; }
    // Raised by a send that the service answered with the end of the current session; the
    // heartbeat takes it at its next cycle.
    std::atomic<bool>& SessionEndReported() { return m_session_end_reported; }
    // When the current session was logged in, and whether it handled a message.
    SessionWatch& Watch() { return m_watch; }
    // Held around every change of session.ini, which several threads write.
    std::mutex& SessionFileMutex() { return m_session_file_mutex; }

    // The account's data folder; set by the start-up before any thread that reads it.
    const std::string& AccountDir() const { return m_account_dir; }
    void SetAccountDir(std::string dir) { m_account_dir = std::move(dir); }

    // HeartbeatStop: ends the heartbeat loop and the queue workers' loops.
    std::atomic<bool>& HeartbeatStop() { return m_heartbeat_stop; }
    // ConnectionState, and the gate of all work that needs the service: intake, contact
    // and send jobs wait while it is not online (none is dropped for it). The heartbeat
    // sets it after every poll; a re-login sets it offline while it logs in again and
    // online after. The robot's stop shuts it, waking every waiter.
    protocol::Connection& Connection() { return m_connection; }
    // The MsgIds the heartbeat handed on last; news that come again are skipped. Only the
    // heartbeat thread uses it; it outlives a heartbeat that is started again.
    protocol::RecentMessageIds& HandledMessages() { return m_handled_messages; }

    contacts::ContactStore& Contacts() { return m_contacts; }
    // Every contact's key, the same across logins.
    contacts::ContactKeys& Keys() { return m_keys; }
    // The IncomingQueue: every background job; a send job hands its text to the sender.
    jobs::JobQueue& Queue() { return m_queue; }
    config::SettingsStore& Settings() { return m_settings; }
    // Loaded once by the start-up before the workers start; read-only afterwards.
    messages::LangTemplates& Templates() { return m_templates; }
    messages::KnowledgeBase& Knowledge() { return m_knowledge; }
    plugins::PluginHost& Plugins() { return m_plugins; }
    mass::MassState& Mass() { return m_mass; }
    // The paced send queue and its thread's body; the start-up starts that thread.
    messages::Sender& Sender() { return m_sender; }
    messages::MessageLog& Log() { return m_log; }
    // How many replies each chat got in the last minute.
    messages::ReplyGuard& ReplyGuard() { return m_reply_guard; }
    // Told of every message handled and every text sent (the archive, OneBot, media, the
    // model's context). Added to before the threads start.
    messages::MessageObservers& Observers() { return m_observers; }
    // The account's database (zelmo.db): the archive of every message and the contact keys.
    // The start-up opens it once the settings are read; Shutdown closes it once every
    // thread has ended.
    AccountArchive& Archive() { return m_archive; }

    // Received pictures, voice, videos and files, kept as 媒体下载 says; OnSaved tells of
    // every file saved (the archive's hook). The start-up starts its threads.
    MediaDownloads& Media() { return m_media; }

    // The bot frameworks' way in, when [OneBot] 启用 is on; null otherwise. Set once by the
    // start-up before the queue workers start; Shutdown stops it after the sender.
    onebot::OneBotService* OneBot() const;
    void SetOneBot(std::unique_ptr<onebot::OneBotService> service);

    // The language model: its queue (started after the queue workers, stopped with the
    // robot), and what it remembers of each chat, fed by the observers and its answers.
    ai::ModelQueue& Model() { return m_model; }
    const ai::ChatContext& Context() const { return m_context; }
    messages::ModelContextFeed& ModelContext() { return m_context_feed; }

    // The parts the reply chain and the intake reach, and those of a mass run.
    const messages::ReplySources& Replies() const { return m_replies; }
    messages::IntakeParts Intake();
    mass::MassParts MassParts();

    // Runs `body` on a new thread owned by the robot; nothing it throws escapes. False
    // (and nothing started) once the robot is stopping.
    bool StartThread(std::function<void()> body);
    // StartThread as a value for the subsystems that start threads.
    jobs::ThreadStarter Starter();
    // The wait the robot's threads pause with: the screen's Delay, cut short by the stop.
    platform::Pause Pause();

    // Wakes every wait, closes the queue and the sender, shuts the connection gate and
    // aborts requests in flight; later requests fail at once. Any thread; idempotent.
    void Stop();
    bool Stopping() const { return m_stop.IsSet(); }
    const platform::ManualResetEvent& StopEvent() const { return m_stop; }

    // Stops and joins every thread the robot started. Not from one of those threads.
    void Shutdown();

    // The intake held while the user is asked about the end: the heartbeat polls no more,
    // the workers start on no received message and no pair is learned, until resumed (or
    // the robot stops). Any thread.
    void HoldIntake();
    void ResumeIntake();
    // Blocks while the intake is held; false once the robot stops.
    bool WaitWhileIntakeHeld() const;
    // The user answered the close questions with a quit: what the knowledge base keeps
    // unsaved then is the user's choice, which the end of the run leaves as it is.
    std::atomic<bool>& QuitConfirmed() { return m_quit_confirmed; }

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    RunOptions m_options;
    protocol::ServiceProfile m_profile;
    platform::WebClient m_web;
    platform::Clock& m_clock;
    UiPort& m_screen;
    protocol::SessionStore m_sessions;
    LoginRun m_login;
    std::atomic<bool> m_session_end_reported{false};
    SessionWatch m_watch;
    std::mutex m_session_file_mutex;
    platform::ManualResetEvent m_stop;
    platform::ManualResetEvent m_intake_open{true};
    std::atomic<bool> m_quit_confirmed{false};

    std::string m_account_dir;
    std::atomic<bool> m_heartbeat_stop{false};
    protocol::Connection m_connection;
    protocol::RecentMessageIds m_handled_messages;
    contacts::ContactStore m_contacts;
    contacts::ContactKeys m_keys;
    jobs::JobQueue m_queue;
    config::SettingsStore m_settings;
    messages::LangTemplates m_templates;
    messages::KnowledgeBase m_knowledge;
    plugins::PluginHost m_plugins;
    mass::MassState m_mass;
    messages::MessageLog m_log;
    messages::Sender m_sender;
    messages::ReplyGuard m_reply_guard;
    messages::ReplySources m_replies;
    messages::MessageObservers m_observers;
    MediaDownloads m_media;
    PluginServices m_plugin_services;
    plugins::HostCalls m_host_calls;
    AccountArchive m_archive{*this};
    // The model's context: this run's texts in memory, a chat's past from the archive.
    ArchiveContext m_archive_context{*this};
    ai::MemoryContext m_context;
    messages::ModelContextFeed m_context_feed;
    ai::ModelQueue m_model;

    std::mutex m_workers_mutex;
    std::vector<Worker> m_workers;

    // Last: it reaches the parts above until it is gone.
    mutable std::mutex m_onebot_mutex;
    std::unique_ptr<onebot::OneBotService> m_onebot;
};

}  // namespace zelmo::app
