#pragma once

#include <QPointer>
#include <QWidget>
#include <string_view>

namespace zelmo::app {

// The small one-line status window. Its window exists only while it is open. UI thread.
class StatusPopup {
public:
    StatusPopup() = default;
    ~StatusPopup();
    StatusPopup(const StatusPopup&) = delete;
    StatusPopup& operator=(const StatusPopup&) = delete;

    // Opens (or raises) the popup with one GBK line; fades in only when it was closed.
    void ShowStatus(std::string_view text, bool fade_in);
    void FadeOut();
    // Does nothing when the popup is not open.
    void Close();

    bool IsOpen() const { return m_open; }
    // The open window; null when closed.
    QWidget* Window() const { return m_window; }

private:
    void Create(bool fade_in);

    QPointer<QWidget> m_window;
    bool m_open = false;
};

}  // namespace zelmo::app
