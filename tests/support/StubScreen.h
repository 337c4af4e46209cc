#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/UiPort.h"

namespace zelmo::test {

// The screen port for tests: records every call in order and lets a test wait for one.
// Thread-safe. Delays really wait (scaled by delay_scale) so that work on other threads
// keeps its real pace; Cancel() ends every current and later delay at once.
class StubScreen final : public app::UiPort {
public:
    struct Call {
        std::string name;  // the method's name, e.g. "SetLoginCaption"
        std::string text;  // its text (GBK) or image bytes; title + "\n" + text for boxes
        int number = 0;    // fade flag, exit code or delay
    };

    explicit StubScreen(double delay_scale = 1.0) : m_delay_scale(delay_scale) {}

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
    bool AskYesNo(std::string_view title, std::string_view text) override;
    void EndProgram(int code) override;
    void Delay(int ms) override;
    void SetMainCaption(std::string_view text) override;
    void CreateHiddenWindows() override;
    // Recorded text: avatar bytes, "\n", nickname, "\n", signature.
    void ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                       std::string_view signature) override;
    void MainWindowReady() override;
    void FadeOutMainWindow() override;
    // Recorded text: the five cells joined by "\t".
    void AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                   std::string_view destination, std::string_view content) override;
    // Recorded text: MsgId, "\t", path.
    void LogRowFile(std::string_view msg_id, std::string_view path) override;
    void RefreshContactLists() override;
    void FillMassCandidates() override;
    // Recorded number: the group index.
    void GroupMembersFetched(std::size_t group_index) override;
    void AppendMassLog(std::string_view text) override;
    // Recorded number: 1 running, 0 idle.
    void SetMassRunning(bool running) override;
    void SetMassCaption(std::string_view caption) override;
    void ShowMassSettings() override;
    void ShowMassTexts() override;
    void ReplyBaseChanged() override;
    // Recorded text: tag, " ", text.
    void LogEvent(std::string_view tag, std::string_view text) override;

    // AskYesNo answers these in order, then `default_answer`. Recorded like message boxes;
    // the number is 1 for a Yes.
    void ScriptAnswers(std::initializer_list<bool> answers);
    void SetDefaultAnswer(bool default_answer);
    // Runs with every question's text before it is answered: what happens while the box is
    // open.
    void WhileAsked(std::function<void(std::string_view text)> while_open);

    void Cancel();

    // Delay() calls this instead of waiting (e.g. to advance a fake clock).
    void SetDelayHandler(std::function<void(int ms)> handler);

    std::vector<Call> Calls() const;
    // The texts of every call of that name, in order.
    std::vector<std::string> TextsOf(std::string_view name) const;
    std::size_t CountOf(std::string_view name) const;

    // True once `count` calls of that name were made, false after the time-out.
    bool WaitForCall(std::string_view name, std::chrono::milliseconds timeout,
                     std::size_t count = 1);
    bool WaitForCaption(std::string_view text, std::chrono::milliseconds timeout);
    // True once the predicate holds over the calls so far.
    bool WaitUntil(const std::function<bool(const std::vector<Call>&)>& done,
                   std::chrono::milliseconds timeout);

private:
    void Record(std::string name, std::string text = {}, int number = 0);

    const double m_delay_scale;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    bool m_cancelled = false;
    std::deque<bool> m_answers;
    bool m_default_answer = false;
    std::function<void(std::string_view)> m_while_asked;
    std::function<void(int ms)> m_delay_handler;
};

}  // namespace zelmo::test
