#pragma once

#include <string_view>

namespace zelmo::app {

// What every part of the robot may show: the status popup, message boxes and questions,
// the end of the program, and the wait that keeps a window thread responsive. Every
// method may be called from any thread; texts are GBK. Calls from one thread reach the
// screen in the order they were made.
class ShellPort {
public:
    virtual ~ShellPort() = default;

    // Shows one line in the status popup, opening it if needed; a fade-in runs only when
    // the popup was closed before.
    virtual void ShowStatus(std::string_view text, bool fade_in) = 0;
    virtual void FadeOutStatus() = 0;
    // Does nothing when the popup is not open.
    virtual void CloseStatus() = 0;

    // An OK-only box. Blocks until the box is closed (or the robot stops).
    virtual void ShowMessageBox(std::string_view title, std::string_view text) = 0;
    // A Yes/No box; true only for Yes. Blocks like ShowMessageBox; a stopping robot or an
    // unattended run gives the front end's configured answer.
    virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;
    // Ends the program's message loop with this exit code.
    virtual void EndProgram(int code) = 0;
    // Waits ms milliseconds: a nested event loop on the UI thread, elsewhere a wait that
    // returns early when the robot stops.
    virtual void Delay(int ms) = 0;

    // Notes a background event (a re-login, a failed send, a save) in the front end's log:
    // `tag` is a short ASCII word, `text` says what happened (GBK). Never waits for the
    // screen. The desktop program writes its event log file, the headless one a line.
    virtual void LogEvent(std::string_view /*tag*/, std::string_view /*text*/) {}
};

}  // namespace zelmo::app
