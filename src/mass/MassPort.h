#pragma once

#include <string_view>

namespace zelmo::mass {

// The mass-send window. Any thread; calls keep their order.
class MassPort {
public:
    virtual ~MassPort() = default;

    // Appends text (it carries its own line breaks) to the log box.
    virtual void AppendMassLog(std::string_view text) = 0;
    // A run started (controls disabled, caption "停止群发") or ended (enabled, "开始群发").
    virtual void SetMassRunning(bool running) = 0;
    // The three pacing edit boxes and the text list show the loaded values.
    virtual void ShowMassSettings() = 0;
};

}  // namespace zelmo::mass
