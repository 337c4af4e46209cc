#pragma once

#include <string_view>

namespace zelmo::app {

// The login window. Any thread; calls keep their order.
class LoginPort {
public:
    virtual ~LoginPort() = default;

    // The login window's caption is its status line.
    virtual void SetLoginCaption(std::string_view text) = 0;
    // Image bytes as the service sent them (PNG, JPEG or GIF).
    virtual void ShowQrImage(std::string_view image) = 0;
    virtual void HideLoginWindow() = 0;
    virtual void ShowLoginWindow() = 0;
    // Closes the login window without ending the program.
    virtual void CloseLoginWindow() = 0;
    // Creates the main window, transparent and not yet reacting to the user; the start-up
    // that follows fills it and fades it in.
    virtual void OpenMainWindow() = 0;
};

}  // namespace zelmo::app
