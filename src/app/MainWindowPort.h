#pragma once

#include <string_view>

namespace zelmo::app {

// The main window and the secondary windows it owns. Any thread; calls keep their order.
class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;

    // The caption shows the connection state.
    virtual void SetMainCaption(std::string_view text) = 0;
    // Creates the message window, the knowledge-base editor and the mass-send window,
    // hidden; they live until the program ends.
    virtual void CreateHiddenWindows() = 0;
    // The own-account header: avatar image bytes (empty clears the picture), nickname and
    // signature (shown in the label and the edit box).
    virtual void ShowOwnHeader(std::string_view avatar, std::string_view nickname,
                               std::string_view signature) = 0;
    // The start-up is done: the window reacts to the user and fades in when it first
    // comes to the foreground.
    virtual void MainWindowReady() = 0;
    // Fades the main window out (the end of a confirmed close). Blocks until done.
    virtual void FadeOutMainWindow() = 0;
};

}  // namespace zelmo::app
