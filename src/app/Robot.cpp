#include "app/Robot.h"

#include <chrono>
#include <utility>

#include "app/JobDispatch.h"
#include "app/ModelReplies.h"

namespace zelmo::app {

namespace {

protocol::ServiceProfile ProfileFor(const RunOptions& options) {
    if (options.service_file.empty()) {
        return {};
    }
    return protocol::LoadServiceProfile(options.service_file);
}

}  // namespace

Robot::Robot(RunOptions options, platform::Clock& clock, UiPort& screen)
    : m_options(std::move(options)),
      m_profile(ProfileFor(m_options)),
      m_web(protocol::ClientConfig(m_profile)),
      m_clock(clock),
      m_screen(screen),
      m_keys(clock),
      m_log(screen, clock),
      m_sender({Link(), m_sessions, m_settings, Pause(), m_connection, m_log, m_contacts, m_keys}),
      m_replies{m_templates, m_knowledge, m_plugins, m_account_dir, m_sessions, clock},
      m_media(*this),
      m_plugin_services(*this),
      m_host_calls(m_plugin_services),
      m_context(
          [this](std::string_view chat, std::size_t count, std::int64_t until_unix_ms) {
              return m_archive_context.Turns(chat, count, until_unix_ms);
          },
          clock),
      m_context_feed(m_context, m_settings, m_contacts),
      m_model({protocol::ClientConfig(m_profile), m_settings, m_context, Starter(), clock,
               [this](const ai::ModelResult& result) { SettleModelResult(*this, result); }}) {
    // Learning, loading and saving change what the knowledge-base editor shows.
    m_knowledge.SetChangeListener([&screen] { screen.ReplyBaseChanged(); });
    m_queue.SetDropHandler([this](const jobs::Job& job) { LogDroppedJob(*this, job); });
    // The heartbeat takes it at its next cycle; until then the session is gone, and what
    // waits for the service waits on. An answer about a session that a re-login has
    // replaced says nothing about the new one.
    messages::SessionNotices notices;
    notices.ended = [this](std::uint64_t generation) {
        if (generation == m_sessions.Snapshot()->generation) {
            m_connection.ReportSessionEnd();
            m_session_end_reported.store(true);
        }
    };
    notices.took_text = [this](std::uint64_t generation) { m_watch.Active(generation); };
    m_sender.SetSessionNotices(std::move(notices));
    m_sender.SetObservers(m_observers);
    // The archive first: a saved file's path then always finds its message's row.
    m_observers.Add(m_archive);
    m_observers.Add(m_media);
    // Hooks are set before the downloads start; the frameworks' service comes later.
    m_media.OnSaved([this](std::string_view msg_id, std::string_view path) {
        m_archive.OnMediaSaved(msg_id, path);
        if (onebot::OneBotService* service = OneBot()) {
            service->OnMediaSaved(msg_id, path);
        }
    });
    m_plugins.SetHostCalls(m_host_calls.Table());
    m_observers.Add(m_context_feed);
}

Robot::~Robot() {
    Shutdown();
}

messages::IntakeParts Robot::Intake() {
    const auto answered_elsewhere = [this] {
        const onebot::OneBotService* service = OneBot();
        return service != nullptr && service->TakesOverReplies();
    };
    return {Link(),  m_sessions, Pause(),       m_settings,  m_contacts,         m_keys,  m_screen,
            m_queue, m_replies,  m_reply_guard, m_observers, answered_elsewhere, &m_model};
}

onebot::OneBotService* Robot::OneBot() const {
    std::lock_guard lock(m_onebot_mutex);
    return m_onebot.get();
}

void Robot::SetOneBot(std::unique_ptr<onebot::OneBotService> service) {
    std::lock_guard lock(m_onebot_mutex);
    m_onebot = std::move(service);
}

mass::MassParts Robot::MassParts() {
    return {m_mass,    m_settings, m_account_dir, m_screen, m_sender,
            Starter(), Pause(),    m_stop,        m_queue,  m_sessions};
}

bool Robot::StartThread(std::function<void()> body) {
    std::lock_guard lock(m_workers_mutex);
    if (Stopping()) {
        return false;
    }
    // Reap finished threads so a long wait for a scan, cycle after cycle, keeps no pile.
    std::erase_if(m_workers, [](Worker& worker) {
        if (!worker.done->load(std::memory_order_acquire)) {
            return false;
        }
        worker.thread.join();
        return true;
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), done] {
        try {
            body();
        } catch (...) {
            // A thread body has nobody to report to; the robot goes on without it.
        }
        done->store(true, std::memory_order_release);
    });
    m_workers.push_back(Worker{std::move(thread), std::move(done)});
    return true;
}

jobs::ThreadStarter Robot::Starter() {
    return [this](std::function<void()> body) { return StartThread(std::move(body)); };
}

platform::Pause Robot::Pause() {
    return [this](int ms) {
        m_screen.Delay(ms);
        return !Stopping();
    };
}

void Robot::Stop() {
    {
        // Under the lock, so no thread can start after a Shutdown has taken the list.
        std::lock_guard lock(m_workers_mutex);
        m_stop.Set();
        m_heartbeat_stop.store(true);
        m_queue.Close();
        m_sender.Close();
        m_media.Stop();
        m_connection.Shut();
        m_web.Stop();
        // What waits at the intake's hold leaves: the waiters see the stop.
        m_intake_open.Set();
        m_knowledge.HoldLearning(false);
    }
    // Outside the lock: it waits for its workers, whose results may start a thread (a box).
    m_model.Stop();
}

void Robot::HoldIntake() {
    // Under the lock Stop() takes, so that no hold can follow the stop's release.
    std::lock_guard lock(m_workers_mutex);
    if (Stopping()) {
        return;
    }
    m_intake_open.Reset();
    m_knowledge.HoldLearning(true);
}

void Robot::ResumeIntake() {
    m_knowledge.HoldLearning(false);
    m_intake_open.Set();
}

bool Robot::WaitWhileIntakeHeld() const {
    m_intake_open.Wait();
    return !Stopping();
}

void Robot::Shutdown() {
    Stop();
    // After the sender closed: the frameworks' texts in its hands end at once.
    if (onebot::OneBotService* service = OneBot()) {
        service->Stop();
    }
    std::vector<Worker> workers;
    {
        std::lock_guard lock(m_workers_mutex);
        workers.swap(m_workers);
    }
    for (Worker& worker : workers) {
        if (worker.thread.joinable()) {
            worker.thread.join();
        }
    }
    // The last rows the heartbeat, the workers, the sender and a mass run queued go in.
    m_archive.Close();
}

}  // namespace zelmo::app
