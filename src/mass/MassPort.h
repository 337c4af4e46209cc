#pragma once

#include <string_view>

namespace zelmo::mass {

// The mass-send window. Any thread; calls from one thread keep their order. A worker's
// call may reach the window after a later change made on the window's own thread: a front
// end that shows the mass state's current run state (MassState::Phase) whenever a run-state
// call arrives is always right.
class MassPort {
public:
    virtual ~MassPort() = default;

    // Clears and refills the mass-send candidate list from the contact store.
    virtual void FillMassCandidates() = 0;
    // Appends text (it carries its own line breaks) to the log box.
    virtual void AppendMassLog(std::string_view text) = 0;
    // MassRunning changed: while a run is on, the candidate list with its kind boxes and
    // refresh label, the text list and the three pacing boxes are disabled.
    virtual void SetMassRunning(bool running) = 0;
    // The start button's caption changed ("开始群发" or "停止群发", GBK).
    virtual void SetMassCaption(std::string_view /*caption*/) {}
    // The three pacing edit boxes (and the log check box) show the current MassSettings.
    virtual void ShowMassSettings() = 0;
    // The text list shows the mass state's texts, as after a load.
    virtual void ShowMassTexts() {}

    // An OK-only box (a refused start or text). Blocks until the box is closed.
    virtual void ShowMessageBox(std::string_view title, std::string_view text) = 0;
    // A Yes/No box; true only for Yes. Blocks until answered.
    virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;
};

}  // namespace zelmo::mass
