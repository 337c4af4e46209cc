#pragma once

#include <string_view>

namespace zelmo::messages {

// The knowledge-base editor's side of the screen. Any thread; texts are GBK.
class EditorPort {
public:
    virtual ~EditorPort() = default;

    // The knowledge base's rows changed (learned, loaded or saved): the editor shows them.
    virtual void ReplyBaseChanged() = 0;
    // An OK-only box (where a save went). Blocks until the box is closed.
    virtual void ShowMessageBox(std::string_view title, std::string_view text) = 0;
    // A Yes/No box; true only for Yes. Blocks until answered.
    virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;
};

}  // namespace zelmo::messages
