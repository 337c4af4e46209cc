#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string_view>

#include "app/UiPort.h"

namespace zelmo::bench {

// A screen for benchmarks: shows nothing, waits for real (until cancelled) and says when
// the start-up is done.
class QuietScreen : public app::UiPort {
public:
    void ShowStatus(std::string_view, bool) override {}
    void FadeOutStatus() override {}
    void CloseStatus() override {}
    void SetLoginCaption(std::string_view) override {}
    void ShowQrImage(std::string_view) override {}
    void HideLoginWindow() override {}
    void ShowLoginWindow() override {}
    void CloseLoginWindow() override {}
    void OpenMainWindow() override {}
    void ShowMessageBox(std::string_view, std::string_view) override {}
    bool AskYesNo(std::string_view, std::string_view) override { return false; }
    void EndProgram(int) override {}
    void SetMainCaption(std::string_view) override {}
    void CreateHiddenWindows() override {}
    void ShowOwnHeader(std::string_view, std::string_view, std::string_view) override {}
    void FadeOutMainWindow() override {}
    void AddLogRow(std::string_view, std::string_view, std::string_view, std::string_view,
                   std::string_view) override {}
    void RefreshContactLists() override {}
    void FillMassCandidates() override {}
    void GroupMembersFetched(std::size_t) override {}
    void AppendMassLog(std::string_view) override {}
    void SetMassRunning(bool) override {}
    void ShowMassSettings() override {}
    void ReplyBaseChanged() override {}
    void MainWindowReady() override {
        std::lock_guard lock(m_mutex);
        m_ready = true;
        m_changed.notify_all();
    }
    void Delay(int ms) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancelled; });
    }
    bool WaitReady(std::chrono::seconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_ready; });
    }
    void Cancel() {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_ready = false;
    bool m_cancelled = false;
};

}  // namespace zelmo::bench
