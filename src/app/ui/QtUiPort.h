#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/RunOptions.h"
#include "app/UiPort.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/StatusPopup.h"
#include "mass/ui/MassSendWindow.h"
#include "messages/ui/KnowledgeBaseEditor.h"

namespace zelmo::platform {
class EventLog;
}

namespace zelmo::app {

class LoginWindow;
class MainWindow;
class Robot;
class WindowPlaces;

// The screen port on Qt Widgets. Construct on the UI thread. Calls from other threads
// start on the UI thread in the order they were made; only message boxes and questions
// make the caller wait. Background events (login, connection state, boxes, status texts,
// failure rows and what LogEvent is told) go to `events` when given; the main and message
// windows keep their places in `places` when given. Both must outlive the port.
class QtUiPort final : public QObject, public UiPort {
    Q_OBJECT
public:
    explicit QtUiPort(AutoAnswer auto_answer, platform::EventLog* events = nullptr,
                      WindowPlaces* places = nullptr);
    ~QtUiPort() override;

    // The robot whose windows this port shows. Bind before any thread uses the port.
    void BindRobot(Robot& robot);

    // Opens the login window transparent, runs start_login here on the UI thread and
    // fades the window in when it returned true.
    void OpenLoginWindow(const std::function<bool()>& start_login);

    LoginWindow* Login() const { return m_login.get(); }
    MainWindow* Main() const { return m_main.get(); }
    MessageWindow* Messages() const { return m_messages; }
    messages::KnowledgeBaseEditor* Editor() const { return m_editor; }
    mass::MassSendWindow* MassWindow() const { return m_mass; }
    StatusPopup& Popup() { return m_popup; }

    // ShellPort
    void ShowStatus(std::string_view text, bool fade_in) override;
    void FadeOutStatus() override;
    void CloseStatus() override;
    void ShowMessageBox(std::string_view title, std::string_view text) override;
    bool AskYesNo(std::string_view title, std::string_view text) override;
    void EndProgram(int code) override;
    void Delay(int ms) override;
    void LogEvent(std::string_view tag, std::string_view text) override;
    // LoginPort
    void SetLoginCaption(std::string_view text) override;
    void ShowQrImage(std::string_view image) override;
    void HideLoginWindow() override;
    void ShowLoginWindow() override;
    void CloseLoginWindow() override;
    void OpenMainWindow() override;
    // MainWindowPort
    void SetMainCaption(std::string_view text) override;
    void CreateHiddenWindows() override;
    void ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                       std::string_view signature) override;
    void MainWindowReady() override;
    void FadeOutMainWindow() override;
    // LogPort
    void AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                   std::string_view destination, std::string_view content) override;
    void AddMessageLogRow(std::string_view label, std::string_view time, std::string_view source,
                          std::string_view destination, std::string_view content,
                          std::string_view msg_id) override;
    void LogRowFile(std::string_view msg_id, std::string_view path) override;
    // ListsPort
    void RefreshContactLists() override;
    void FillMassCandidates() override;
    void GroupMembersFetched(std::size_t group_index) override;
    // MassPort
    void AppendMassLog(std::string_view text) override;
    void SetMassRunning(bool running) override;
    void SetMassCaption(std::string_view caption) override;
    void ShowMassSettings() override;
    void ShowMassTexts() override;
    // EditorPort
    void ReplyBaseChanged() override;

private:
    bool LoginWindowClosing();
    bool OnUiThread() const;
    void Run(std::function<void()> job);
    // Runs job on the UI thread and waits for it (or for the robot to stop).
    void RunAndWait(const std::function<void()>& job);
    void Drain();
    void ShowMainWindowNow();
    void ShowMessageBoxNow(const std::string& title, const std::string& text);
    bool AskYesNoNow(const std::string& title, const std::string& text);
    bool Stopping() const;
    // Logs a caption unless it repeats the last one kept in `last`.
    void LogCaption(std::string_view tag, std::string_view text, std::string& last);

    AutoAnswer m_auto_answer;
    platform::EventLog* m_events;
    WindowPlaces* m_places;
    Robot* m_robot = nullptr;
    std::unique_ptr<LoginWindow> m_login;
    std::unique_ptr<MainWindow> m_main;
    // Owned by the main window.
    QPointer<MessageWindow> m_messages;
    QPointer<messages::KnowledgeBaseEditor> m_editor;
    QPointer<mass::MassSendWindow> m_mass;
    bool m_main_faded_in = false;
    StatusPopup m_popup;

    std::mutex m_captions_mutex;
    std::string m_last_login_caption;
    std::string m_last_main_caption;

    std::mutex m_jobs_mutex;
    std::deque<std::function<void()>> m_jobs;
};

}  // namespace zelmo::app
