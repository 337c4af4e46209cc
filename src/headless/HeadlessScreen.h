#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "app/RunOptions.h"
#include "app/UiPort.h"
#include "contacts/ContactStore.h"
#include "headless/TerminalQr.h"

namespace zelmo::platform {
class Clock;
}
namespace zelmo::app {
class Robot;
}

namespace zelmo::headless {

// The answer a question gets when no --auto-answer was given: Yes where No would throw
// away data (saving the knowledge base), No everywhere else (quitting, deleting,
// uninstalling, handing the account to a plugin), since No leaves everything as it is.
bool DefaultAnswer(std::string_view gbk_text);

// A GBK text as one line of UTF-8: control characters (line breaks, escape sequences a chat
// partner might send to the operator's terminal) become visible escapes such as "\n".
std::string PrintableLine(std::string_view gbk_text);

// "contacts N (friends F, groups G, official O)" for the store's kind counts: every
// contact, then by kind (people of any sex are friends).
std::string ContactsLine(const std::map<std::string, std::size_t, std::less<>>& kinds);

// The screen port without a screen: every event becomes one line on the sink, stamped with
// the local time ("2024-05-01 09:05:07 tag text"). The QR image is written to a file and
// drawn below its line. Any thread; each line reaches the sink whole, in call order.
class HeadlessScreen final : public app::UiPort {
public:
    struct Options {
        app::AutoAnswer auto_answer = app::AutoAnswer::Ask;
        std::string qr_file;  // where each QR image goes
        QrScheme qr_scheme = QrScheme::LightOnDark;
    };
    // `sink` gets whole lines (and the QR's block lines) as UTF-8; `end_program` is told
    // the exit code when the core ends the program.
    HeadlessScreen(Options options, platform::Clock& clock,
                   std::function<void(std::string_view)> sink,
                   std::function<void(int)> end_program);

    // The robot whose state this screen shows. Bind before any thread uses the screen.
    void BindRobot(app::Robot& robot);

    // Prints one stamped line of this front end's own (UTF-8 text).
    void PrintLine(std::string_view tag, std::string_view utf8_text);

    // The login was handed over: the session can be logged out.
    bool HandedOver() const { return m_handed_over.load(std::memory_order_acquire); }
    // The account folder is set (and stays as it is).
    bool AccountReady() const { return m_account_ready.load(std::memory_order_acquire); }
    // The start-up has finished.
    bool Ready() const { return m_ready.load(std::memory_order_acquire); }

    // ShellPort
    void ShowStatus(std::string_view text, bool fade_in) override;
    void FadeOutStatus() override {}
    void CloseStatus() override {}
    void ShowMessageBox(std::string_view title, std::string_view text) override;
    bool AskYesNo(std::string_view title, std::string_view text) override;
    void EndProgram(int code) override;
    void Delay(int ms) override;
    // One stamped line "tag text", tokens and cookies masked.
    void LogEvent(std::string_view tag, std::string_view text) override;
    // LoginPort
    void SetLoginCaption(std::string_view text) override;
    void ShowQrImage(std::string_view image) override;
    void HideLoginWindow() override {}
    void ShowLoginWindow() override {}
    void CloseLoginWindow() override {}
    void OpenMainWindow() override;
    // MainWindowPort
    void SetMainCaption(std::string_view text) override;
    void CreateHiddenWindows() override;
    void ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                       std::string_view signature) override;
    void MainWindowReady() override;
    void FadeOutMainWindow() override {}
    // LogPort
    void AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                   std::string_view destination, std::string_view content) override;
    // A second "log" line for a received message once its file is saved: "saved PATH (MsgId
    // ID)".
    void LogRowFile(std::string_view msg_id, std::string_view path) override;
    // ListsPort
    void RefreshContactLists() override;
    void FillMassCandidates() override {}
    void GroupMembersFetched(std::size_t) override {}
    // MassPort
    void AppendMassLog(std::string_view text) override;
    void SetMassRunning(bool running) override;
    void ShowMassSettings() override {}
    // EditorPort
    void ReplyBaseChanged() override {}

private:
    std::string Stamp() const;
    // Prints a caption unless it repeats the last one of the same window.
    void PrintCaption(std::string_view tag, std::string_view gbk_text, std::string& last);

    Options m_options;
    platform::Clock& m_clock;
    std::function<void(std::string_view)> m_sink;
    std::function<void(int)> m_end_program;
    app::Robot* m_robot = nullptr;

    std::mutex m_mutex;
    std::string m_last_login_caption;
    std::string m_last_main_caption;
    std::string m_last_contacts_line;

    std::atomic<bool> m_handed_over{false};
    std::atomic<bool> m_account_ready{false};
    std::atomic<bool> m_ready{false};
};

}  // namespace zelmo::headless
