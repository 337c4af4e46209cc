#include "app/ui/QtUiPort.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "app/ExitCodes.h"
#include "app/LoginDriver.h"
#include "app/Robot.h"
#include "app/ui/Fades.h"
#include "app/ui/LoginWindow.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/PumpingDelay.h"
#include "app/ui/WindowPlacement.h"
#include "mass/ui/MassSendWindow.h"
#include "messages/MessageLog.h"
#include "messages/ui/KnowledgeBaseEditor.h"
#include "platform/Encoding.h"
#include "platform/EventLog.h"
#include "platform/FreeMemory.h"
#include "widgets/QtText.h"

namespace zelmo::app {

namespace {
constexpr auto STOP_CHECK = std::chrono::milliseconds(50);

void Echo(const std::string& title, const std::string& text) {
    const std::string line = platform::GbkToUtf8(title) + ": " + platform::GbkToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
}  // namespace

QtUiPort::QtUiPort(AutoAnswer auto_answer, platform::EventLog* events, WindowPlaces* places)
    : m_auto_answer(auto_answer),
      m_events(events),
      m_places(places),
      m_login(std::make_unique<LoginWindow>([this] { return LoginWindowClosing(); },
                                            [this] { ShowMainWindowNow(); })) {
    m_login->SetPictureClickHandler([this] {
        if (m_robot != nullptr) {
            RequestNewQrCode(*m_robot);
        }
    });
}

bool QtUiPort::LoginWindowClosing() {
    // Back during a re-login: closing it is closing the robot, with the main window's
    // questions (an unsaved knowledge base); a No keeps both open.
    if (m_main) {
        return m_main->close();
    }
    EndProgram(EXIT_STOPPED);
    return true;
}

QtUiPort::~QtUiPort() = default;

void QtUiPort::BindRobot(Robot& robot) {
    m_robot = &robot;
}

bool QtUiPort::OnUiThread() const {
    return QThread::currentThread() == thread();
}

bool QtUiPort::Stopping() const {
    return m_robot != nullptr && m_robot->Stopping();
}

void QtUiPort::Run(std::function<void()> job) {
    if (OnUiThread()) {
        job();
        return;
    }
    {
        std::lock_guard lock(m_jobs_mutex);
        m_jobs.push_back(std::move(job));
    }
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void QtUiPort::RunAndWait(const std::function<void()>& job) {
    if (OnUiThread()) {
        job();
        return;
    }
    auto done = std::make_shared<platform::ManualResetEvent>();
    Run([job, done] {
        job();
        done->Set();
    });
    // The UI thread may have left its loop for good: a stopping robot ends the wait.
    while (!done->WaitFor(STOP_CHECK)) {
        if (Stopping()) {
            return;
        }
    }
}

void QtUiPort::Drain() {
    // Jobs start in call order. One that pumps events (a fade, a message box) lets the
    // next ones run meanwhile: a fade must not hold up the hand-over to the main window.
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(m_jobs_mutex);
            if (m_jobs.empty()) {
                break;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void QtUiPort::LogEvent(std::string_view tag, std::string_view text) {
    // Written on the caller's thread: a line must not wait for a busy or closing window.
    if (m_events != nullptr) {
        m_events->Write(tag, text);
    }
}

void QtUiPort::LogCaption(std::string_view tag, std::string_view text, std::string& last) {
    std::lock_guard lock(m_captions_mutex);
    // A caption is a state: the heartbeat sets the same one after every cycle.
    if (text == last) {
        return;
    }
    last = std::string(text);
    LogEvent(tag, text);
}

void QtUiPort::OpenLoginWindow(const std::function<bool()>& start_login) {
    m_login->setWindowOpacity(0.0);
    m_login->show();
    if (start_login()) {
        FadeIn(m_login.get());
    }
}

void QtUiPort::ShowStatus(std::string_view text, bool fade_in) {
    LogEvent("status", text);
    Run([this, text = std::string(text), fade_in] { m_popup.ShowStatus(text, fade_in); });
}

void QtUiPort::FadeOutStatus() {
    Run([this] { m_popup.FadeOut(); });
}

void QtUiPort::CloseStatus() {
    Run([this] { m_popup.Close(); });
}

void QtUiPort::ShowMessageBoxNow(const std::string& title, const std::string& text) {
    if (m_auto_answer != AutoAnswer::Ask) {
        Echo(title, text);
        return;
    }
    // No owner window, an OK button only.
    QMessageBox::information(nullptr, widgets::ToQString(title), widgets::ToQString(text));
}

void QtUiPort::ShowMessageBox(std::string_view title, std::string_view text) {
    LogEvent("box", std::string(title) + ": " + std::string(text));
    RunAndWait([this, title = std::string(title), text = std::string(text)] {
        ShowMessageBoxNow(title, text);
    });
}

bool QtUiPort::AskYesNoNow(const std::string& title, const std::string& text) {
    if (m_auto_answer != AutoAnswer::Ask) {
        Echo(title, text);
        return m_auto_answer == AutoAnswer::Yes;
    }
    // The question belongs to the window the user is working in.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        QApplication::activeWindow(), widgets::ToQString(title), widgets::ToQString(text),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

bool QtUiPort::AskYesNo(std::string_view title, std::string_view text) {
    auto answer = std::make_shared<std::atomic<bool>>(false);
    RunAndWait([this, answer, title = std::string(title), text = std::string(text)] {
        answer->store(AskYesNoNow(title, text));
    });
    LogEvent("ask", std::string(title) + ": " + std::string(text) +
                        (answer->load() ? " -> yes" : " -> no"));
    return answer->load();
}

void QtUiPort::EndProgram(int code) {
    LogEvent("end", "exit code " + std::to_string(code));
    // Stop the robot first: its loops must not run on against a screen that is going away.
    if (m_robot != nullptr) {
        m_robot->Stop();
    }
    Run([code] { QCoreApplication::exit(code); });
}

void QtUiPort::Delay(int ms) {
    if (OnUiThread()) {
        PumpingDelay(ms);
        return;
    }
    if (m_robot != nullptr) {
        m_robot->StopEvent().WaitFor(std::chrono::milliseconds(ms));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void QtUiPort::SetLoginCaption(std::string_view text) {
    LogCaption("login", text, m_last_login_caption);
    Run([this, text = std::string(text)] { m_login->setWindowTitle(widgets::ToQString(text)); });
}

void QtUiPort::ShowQrImage(std::string_view image) {
    Run([this, image = std::string(image)] { m_login->SetQrImage(image); });
}

void QtUiPort::HideLoginWindow() {
    Run([this] { m_login->hide(); });
}

void QtUiPort::ShowLoginWindow() {
    Run([this] {
        m_login->show();
        // A hot start kept it transparent until a QR code was needed after all.
        if (m_login->windowOpacity() < 1.0) {
            FadeIn(m_login.get());
        }
    });
}

void QtUiPort::CloseLoginWindow() {
    Run([this] { m_login->CloseQuietly(); });
}

void QtUiPort::OpenMainWindow() {
    Run([this] { m_login->RaiseLoadMainEvent(); });
}

void QtUiPort::ShowMainWindowNow() {
    if (m_main || m_robot == nullptr) {
        return;
    }
    m_main = std::make_unique<MainWindow>(*m_robot, [this] { EndProgram(EXIT_STOPPED); });
    if (m_places != nullptr) {
        RememberPlace(m_main.get(), *m_places, QStringLiteral("main"));
    }
    // Invisible and deaf until the start-up is done.
    m_main->setWindowOpacity(0.0);
    m_main->setEnabled(false);
    m_main->show();
}

void QtUiPort::SetMainCaption(std::string_view text) {
    LogCaption("main", text, m_last_main_caption);
    Run([this, text = std::string(text)] {
        if (m_main) {
            m_main->setWindowTitle(widgets::ToQString(text));
        }
    });
}

void QtUiPort::CreateHiddenWindows() {
    Run([this] {
        // The start-up's first call may come in the same pass of queued calls as the
        // hand-over, before the load-main event reached its label: open the window here.
        ShowMainWindowNow();
        if (!m_main || m_messages) {
            return;
        }
        m_messages = new MessageWindow(*m_robot, m_main.get());
        Robot& robot = *m_robot;
        m_editor = new messages::KnowledgeBaseEditor(robot.Knowledge(), robot.AccountDir(), *this,
                                                     m_main.get());
        m_mass = new mass::MassSendWindow(robot.MassParts(), robot.Contacts(), m_main.get());
        if (m_places != nullptr) {
            RememberPlace(m_messages, *m_places, QStringLiteral("messages"));
        } else {
            OpenOverOwner(m_messages);
        }
        OpenOverOwner(m_editor);
        OpenOverOwner(m_mass);
        m_main->SetMessageWindow(m_messages);
        m_messages->SetOpenChat([main = m_main.get()](std::string nickname, std::string user) {
            main->OpenChatWindow(std::move(nickname), std::move(user));
        });
        m_main->SetEditorWindow(m_editor);
        m_main->SetMassWindow(m_mass);
    });
}

void QtUiPort::ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                             std::string_view signature) {
    Run([this, avatar = std::string(avatar), nickname = std::string(nickname),
         signature = std::string(signature)] {
        if (m_main) {
            m_main->ShowOwnHeader(avatar, nickname, signature);
        }
    });
}

void QtUiPort::MainWindowReady() {
    // The folder's name is in the file system's bytes; the log takes GBK.
    LogEvent("ready", m_robot != nullptr ? platform::Utf8ToGbk(m_robot->AccountDir()) : "");
    Run([this] {
        if (!m_main) {
            return;
        }
        m_main->setEnabled(true);
        if (m_messages && m_robot != nullptr) {
            // The log goes on from where the last run left it.
            m_messages->ShowArchivedRows(m_robot->Archive().TakeStartRows());
        }
        m_main->raise();
        m_main->activateWindow();
        if (!m_main_faded_in) {
            m_main_faded_in = true;
            FadeIn(m_main.get());
        }
        // The lists are filled by now (queued before this); what filling them freed goes
        // back to the system too.
        platform::ReturnFreeMemory();
    });
}

void QtUiPort::FadeOutMainWindow() {
    RunAndWait([this] {
        if (m_main) {
            FadeOut(m_main.get());
        }
    });
}

void QtUiPort::AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                         std::string_view destination, std::string_view content) {
    // Chat traffic stays out of the event log; rows of the robot's own events go in.
    if (m_events != nullptr && !messages::IsChatRow(label)) {
        LogEvent("row", std::string(label) + " " + std::string(source) + " -> " +
                            std::string(destination) + ": " + std::string(content));
    }
    Run([this, label = std::string(label), time = std::string(time), source = std::string(source),
         destination = std::string(destination), content = std::string(content)] {
        if (m_messages) {
            m_messages->AddRow(label, time, source, destination, content);
        }
    });
}

void QtUiPort::AddMessageLogRow(std::string_view label, std::string_view time,
                                std::string_view source, std::string_view destination,
                                std::string_view content, std::string_view msg_id) {
    Run([this, label = std::string(label), time = std::string(time), source = std::string(source),
         destination = std::string(destination), content = std::string(content),
         msg_id = std::string(msg_id)] {
        if (m_messages) {
            m_messages->AddRow(label, time, source, destination, content, msg_id);
        }
    });
}

void QtUiPort::LogRowFile(std::string_view msg_id, std::string_view path) {
    Run([this, msg_id = std::string(msg_id), path = std::string(path)] {
        if (m_messages) {
            m_messages->ShowFile(msg_id, path);
        }
    });
}

void QtUiPort::RefreshContactLists() {
    Run([this] {
        if (m_main) {
            m_main->RefreshContactLists();
        }
    });
}

void QtUiPort::FillMassCandidates() {
    Run([this] {
        if (m_mass) {
            m_mass->FillCandidates();
        }
    });
}

void QtUiPort::GroupMembersFetched(std::size_t group_index) {
    Run([this, group_index] {
        if (m_main) {
            m_main->GroupMembersFetched(group_index);
        }
    });
}

void QtUiPort::AppendMassLog(std::string_view text) {
    Run([this, text = std::string(text)] {
        if (m_mass) {
            m_mass->AppendLog(text);
        }
    });
}

// A worker's run-state call may arrive after a newer change made here: the window shows
// the state current when the call arrives, never the value the worker saw.
void QtUiPort::SetMassRunning(bool) {
    Run([this] {
        if (m_mass) {
            m_mass->ShowRunState();
        }
    });
}

void QtUiPort::SetMassCaption(std::string_view) {
    Run([this] {
        if (m_mass) {
            m_mass->ShowRunState();
        }
    });
}

void QtUiPort::ShowMassSettings() {
    Run([this] {
        if (m_mass) {
            m_mass->ShowSettings();
        }
    });
}

void QtUiPort::ShowMassTexts() {
    Run([this] {
        if (m_mass) {
            m_mass->ShowTexts();
        }
    });
}

void QtUiPort::ReplyBaseChanged() {
    Run([this] {
        if (m_editor) {
            m_editor->ShowRows();
        }
    });
}

}  // namespace zelmo::app
