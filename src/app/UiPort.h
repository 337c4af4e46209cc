#pragma once

#include <string_view>

namespace zelmo::app {

// The screen as the core sees it. Every method may be called from any thread; texts are
// GBK. Calls from one thread reach the screen in the order they were made.
class UiPort {
public:
    virtual ~UiPort() = default;

    // Shows one line in the status popup, opening it if needed; a fade-in runs only when
    // the popup was closed before.
    virtual void ShowStatus(std::string_view text, bool fade_in) = 0;
    virtual void FadeOutStatus() = 0;
    // Does nothing when the popup is not open.
    virtual void CloseStatus() = 0;

    // The login window's caption is its status line.
    virtual void SetLoginCaption(std::string_view text) = 0;
    // Image bytes as the service sent them (PNG or JPEG).
    virtual void ShowQrImage(std::string_view image) = 0;
    virtual void HideLoginWindow() = 0;
    virtual void ShowLoginWindow() = 0;
    // Closes the login window without ending the program.
    virtual void CloseLoginWindow() = 0;
    // Hands over to the main window on the UI thread.
    virtual void OpenMainWindow() = 0;

    // Blocks until the box is closed (or the robot stops).
    virtual void ShowMessageBox(std::string_view title, std::string_view text) = 0;
    // Ends the program's message loop with this exit code.
    virtual void EndProgram(int code) = 0;
    // Waits ms milliseconds: a nested event loop on the UI thread, elsewhere a wait that
    // returns early when the robot stops.
    virtual void Delay(int ms) = 0;
};

}  // namespace zelmo::app
