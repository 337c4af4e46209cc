#pragma once

namespace zelmo::messages {

// The knowledge-base editor. Any thread.
class EditorPort {
public:
    virtual ~EditorPort() = default;

    // The knowledge base's rows changed (learned, loaded or saved): the editor shows them.
    virtual void ReplyBaseChanged() = 0;
};

}  // namespace zelmo::messages
