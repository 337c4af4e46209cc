#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "app/UiPort.h"
#include "app/ui/StatusPopup.h"
#include "platform/ManualResetEvent.h"

namespace zelmo::app {

class LoginWindow;
class MainWindow;

// The screen port on Qt Widgets. Construct on the UI thread. Calls from other threads
// start on the UI thread in the order they were made; only message boxes make the caller
// wait.
class QtUiPort final : public QObject, public UiPort {
    Q_OBJECT
public:
    // auto_answer: message boxes are answered at once and echoed to stderr.
    explicit QtUiPort(bool auto_answer);
    ~QtUiPort() override;

    // The robot's stop event, which ends waits off the UI thread, and what stops the robot
    // when the program ends. Bind before any thread uses the port.
    void BindRobot(const platform::ManualResetEvent& stop_event, std::function<void()> stop);

    // Opens the login window transparent, runs start_login here on the UI thread and
    // fades the window in when it returned true.
    void OpenLoginWindow(const std::function<bool()>& start_login);

    LoginWindow* Login() const { return m_login.get(); }
    MainWindow* Main() const { return m_main.get(); }
    StatusPopup& Popup() { return m_popup; }

    void ShowStatus(std::string_view text, bool fade_in) override;
    void FadeOutStatus() override;
    void CloseStatus() override;
    void SetLoginCaption(std::string_view text) override;
    void ShowQrImage(std::string_view image) override;
    void HideLoginWindow() override;
    void ShowLoginWindow() override;
    void CloseLoginWindow() override;
    void OpenMainWindow() override;
    void ShowMessageBox(std::string_view title, std::string_view text) override;
    void EndProgram(int code) override;
    void Delay(int ms) override;

private:
    bool OnUiThread() const;
    void Run(std::function<void()> job);
    void Drain();
    void ShowMainWindowNow();
    void ShowMessageBoxNow(const std::string& title, const std::string& text);

    bool m_auto_answer;
    std::atomic<const platform::ManualResetEvent*> m_stop{nullptr};
    std::function<void()> m_stop_robot;
    std::unique_ptr<LoginWindow> m_login;
    std::unique_ptr<MainWindow> m_main;
    StatusPopup m_popup;

    std::mutex m_jobs_mutex;
    std::deque<std::function<void()>> m_jobs;
};

}  // namespace zelmo::app
