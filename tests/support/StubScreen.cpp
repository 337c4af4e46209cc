#include "support/StubScreen.h"

#include <algorithm>
#include <utility>

namespace zelmo::test {

void StubScreen::Record(std::string name, std::string text, int number) {
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(Call{std::move(name), std::move(text), number});
    }
    m_changed.notify_all();
}

void StubScreen::ShowStatus(std::string_view text, bool fade_in) {
    Record("ShowStatus", std::string(text), fade_in ? 1 : 0);
}
void StubScreen::FadeOutStatus() {
    Record("FadeOutStatus");
}
void StubScreen::CloseStatus() {
    Record("CloseStatus");
}
void StubScreen::SetLoginCaption(std::string_view text) {
    Record("SetLoginCaption", std::string(text));
}
void StubScreen::ShowQrImage(std::string_view image) {
    Record("ShowQrImage", std::string(image));
}
void StubScreen::HideLoginWindow() {
    Record("HideLoginWindow");
}
void StubScreen::ShowLoginWindow() {
    Record("ShowLoginWindow");
}
void StubScreen::CloseLoginWindow() {
    Record("CloseLoginWindow");
}
void StubScreen::OpenMainWindow() {
    Record("OpenMainWindow");
}
void StubScreen::ShowMessageBox(std::string_view title, std::string_view text) {
    Record("ShowMessageBox", std::string(title) + "\n" + std::string(text));
}
bool StubScreen::AskYesNo(std::string_view title, std::string_view text) {
    std::function<void(std::string_view)> while_open;
    {
        std::lock_guard lock(m_mutex);
        while_open = m_while_asked;
    }
    // As long as a user would look at the box.
    if (while_open) {
        while_open(text);
    }
    bool answer = false;
    {
        std::lock_guard lock(m_mutex);
        answer = m_default_answer;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.pop_front();
        }
    }
    Record("AskYesNo", std::string(title) + "\n" + std::string(text), answer ? 1 : 0);
    return answer;
}

void StubScreen::ScriptAnswers(std::initializer_list<bool> answers) {
    std::lock_guard lock(m_mutex);
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

void StubScreen::WhileAsked(std::function<void(std::string_view text)> while_open) {
    std::lock_guard lock(m_mutex);
    m_while_asked = std::move(while_open);
}

void StubScreen::SetDefaultAnswer(bool default_answer) {
    std::lock_guard lock(m_mutex);
    m_default_answer = default_answer;
}

void StubScreen::SetMainCaption(std::string_view text) {
    Record("SetMainCaption", std::string(text));
}
void StubScreen::CreateHiddenWindows() {
    Record("CreateHiddenWindows");
}
void StubScreen::ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                               std::string_view signature) {
    Record("ShowOwnHeader",
           std::string(avatar) + "\n" + std::string(nickname) + "\n" + std::string(signature));
}
void StubScreen::MainWindowReady() {
    Record("MainWindowReady");
}
void StubScreen::FadeOutMainWindow() {
    Record("FadeOutMainWindow");
}
void StubScreen::AddLogRow(std::string_view label, std::string_view time, std::string_view source,
                           std::string_view destination, std::string_view content) {
    Record("AddLogRow", std::string(label) + "\t" + std::string(time) + "\t" + std::string(source) +
                            "\t" + std::string(destination) + "\t" + std::string(content));
}
void StubScreen::LogRowFile(std::string_view msg_id, std::string_view path) {
    Record("LogRowFile", std::string(msg_id) + "\t" + std::string(path));
}
void StubScreen::RefreshContactLists() {
    Record("RefreshContactLists");
}
void StubScreen::FillMassCandidates() {
    Record("FillMassCandidates");
}
void StubScreen::GroupMembersFetched(std::size_t group_index) {
    Record("GroupMembersFetched", {}, static_cast<int>(group_index));
}
void StubScreen::AppendMassLog(std::string_view text) {
    Record("AppendMassLog", std::string(text));
}
void StubScreen::SetMassRunning(bool running) {
    Record("SetMassRunning", {}, running ? 1 : 0);
}
void StubScreen::SetMassCaption(std::string_view caption) {
    Record("SetMassCaption", std::string(caption));
}
void StubScreen::ShowMassSettings() {
    Record("ShowMassSettings");
}
void StubScreen::ShowMassTexts() {
    Record("ShowMassTexts");
}
void StubScreen::ReplyBaseChanged() {
    Record("ReplyBaseChanged");
}

void StubScreen::LogEvent(std::string_view tag, std::string_view text) {
    Record("LogEvent", std::string(tag) + " " + std::string(text));
}

void StubScreen::EndProgram(int code) {
    Record("EndProgram", {}, code);
}

void StubScreen::SetDelayHandler(std::function<void(int ms)> handler) {
    std::lock_guard lock(m_mutex);
    m_delay_handler = std::move(handler);
}

void StubScreen::Delay(int ms) {
    Record("Delay", {}, ms);
    std::function<void(int ms)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_delay_handler;
    }
    if (handler) {
        handler(ms);
        return;
    }
    const auto scaled =
        std::chrono::microseconds(static_cast<long long>(ms * m_delay_scale * 1000));
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, scaled, [this] { return m_cancelled; });
}

void StubScreen::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

std::vector<StubScreen::Call> StubScreen::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> StubScreen::TextsOf(std::string_view name) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const Call& call : m_calls) {
        if (call.name == name) {
            texts.push_back(call.text);
        }
    }
    return texts;
}

std::size_t StubScreen::CountOf(std::string_view name) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(
        m_calls.begin(), m_calls.end(), [name](const Call& call) { return call.name == name; }));
}

bool StubScreen::WaitUntil(const std::function<bool(const std::vector<Call>&)>& done,
                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_calls); });
}

bool StubScreen::WaitForCall(std::string_view name, std::chrono::milliseconds timeout,
                             std::size_t count) {
    return WaitUntil(
        [name, count](const std::vector<Call>& calls) {
            return static_cast<std::size_t>(std::count_if(
                       calls.begin(), calls.end(),
                       [name](const Call& call) { return call.name == name; })) >= count;
        },
        timeout);
}

bool StubScreen::WaitForCaption(std::string_view text, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [text](const std::vector<Call>& calls) {
            return std::any_of(calls.begin(), calls.end(), [text](const Call& call) {
                return call.name == "SetLoginCaption" && call.text == text;
            });
        },
        timeout);
}

}  // namespace zelmo::test
