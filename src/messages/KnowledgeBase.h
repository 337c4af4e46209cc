#pragma once

#include <string_view>

namespace zelmo::messages {

// The keyword knowledge base ("config/reply.ini") with its editor rows. Any thread.
class KnowledgeBase {
public:
    // LoadReplyBase: reads the file (missing: empty) into the base and the editor rows.
    void Load(std::string_view path);
    // SaveReplyBase: writes the editor rows to the file, rebuilds the base from them and
    // clears the dirty flag. False when the file could not be written.
    bool Save(std::string_view path);
    // ReplyBaseDirty: changed by learning or an edit and not yet saved.
    bool Dirty() const;
};

}  // namespace zelmo::messages
