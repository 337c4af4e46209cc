#include "app/ui/QtUiPort.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "app/ui/Fades.h"
#include "app/ui/LoginWindow.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PumpingDelay.h"
#include "app/ui/QtText.h"
#include "platform/Encoding.h"

namespace zelmo::app {

namespace {
constexpr auto STOP_CHECK = std::chrono::milliseconds(50);
}  // namespace

QtUiPort::QtUiPort(bool auto_answer)
    : m_auto_answer(auto_answer),
      m_login(std::make_unique<LoginWindow>([this] { EndProgram(0); },
                                            [this] { ShowMainWindowNow(); })) {}

QtUiPort::~QtUiPort() = default;

void QtUiPort::BindRobot(const platform::ManualResetEvent& stop_event, std::function<void()> stop) {
    m_stop_robot = std::move(stop);
    m_stop.store(&stop_event);
}

bool QtUiPort::OnUiThread() const {
    return QThread::currentThread() == thread();
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

void QtUiPort::OpenLoginWindow(const std::function<bool()>& start_login) {
    m_login->setWindowOpacity(0.0);
    m_login->show();
    if (start_login()) {
        FadeIn(m_login.get());
    }
}

void QtUiPort::ShowStatus(std::string_view text, bool fade_in) {
    Run([this, text = std::string(text), fade_in] { m_popup.ShowStatus(text, fade_in); });
}

void QtUiPort::FadeOutStatus() {
    Run([this] { m_popup.FadeOut(); });
}

void QtUiPort::CloseStatus() {
    Run([this] { m_popup.Close(); });
}

void QtUiPort::SetLoginCaption(std::string_view text) {
    Run([this, text = std::string(text)] { m_login->setWindowTitle(ToQString(text)); });
}

void QtUiPort::ShowQrImage(std::string_view image) {
    Run([this, image = std::string(image)] { m_login->SetQrImage(image); });
}

void QtUiPort::HideLoginWindow() {
    Run([this] { m_login->hide(); });
}

void QtUiPort::ShowLoginWindow() {
    Run([this] { m_login->show(); });
}

void QtUiPort::CloseLoginWindow() {
    Run([this] { m_login->CloseQuietly(); });
}

void QtUiPort::OpenMainWindow() {
    Run([this] { m_login->RaiseLoadMainEvent(); });
}

void QtUiPort::ShowMainWindowNow() {
    if (!m_main) {
        m_main = std::make_unique<MainWindow>([this] { EndProgram(0); });
    }
    m_main->show();
    m_main->raise();
}

void QtUiPort::ShowMessageBoxNow(const std::string& title, const std::string& text) {
    if (m_auto_answer) {
        const std::string line =
            platform::GbkToUtf8(title) + ": " + platform::GbkToUtf8(text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        return;
    }
    // No owner window, an OK button only.
    QMessageBox::information(nullptr, ToQString(title), ToQString(text));
}

void QtUiPort::ShowMessageBox(std::string_view title, std::string_view text) {
    if (OnUiThread()) {
        ShowMessageBoxNow(std::string(title), std::string(text));
        return;
    }
    auto closed = std::make_shared<platform::ManualResetEvent>();
    Run([this, closed, title = std::string(title), text = std::string(text)] {
        ShowMessageBoxNow(title, text);
        closed->Set();
    });
    // The UI thread may have left its loop for good: a stopping robot ends the wait.
    while (!closed->WaitFor(STOP_CHECK)) {
        const platform::ManualResetEvent* stop = m_stop.load();
        if (stop != nullptr && stop->IsSet()) {
            return;
        }
    }
}

void QtUiPort::EndProgram(int code) {
    // Stop the robot first: its loops must not run on against a screen that is going away.
    if (m_stop_robot) {
        m_stop_robot();
    }
    Run([code] { QCoreApplication::exit(code); });
}

void QtUiPort::Delay(int ms) {
    if (OnUiThread()) {
        PumpingDelay(ms);
        return;
    }
    const platform::ManualResetEvent* stop = m_stop.load();
    if (stop != nullptr) {
        stop->WaitFor(std::chrono::milliseconds(ms));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace zelmo::app
