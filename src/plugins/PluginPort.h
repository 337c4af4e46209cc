#pragma once

#include <string_view>

namespace zelmo::plugins {

// What the plugin code shows: the status popup while it scans, and questions. Any thread;
// texts are GBK.
class PluginPort {
public:
    virtual ~PluginPort() = default;

    // Shows one line in the status popup, opening it if needed.
    virtual void ShowStatus(std::string_view text, bool fade_in) = 0;
    // Does nothing when the popup is not open.
    virtual void CloseStatus() = 0;
    // A Yes/No box; true only for Yes. Blocks until answered.
    virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;
};

}  // namespace zelmo::plugins
