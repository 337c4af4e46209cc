#pragma once

#include <string>
#include <string_view>

#include "config/Settings.h"
#include "platform/Clock.h"

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

    // The knowledge-base reply for a message (GBK), or empty: the longest matching keyword
    // wins, equals are picked at random; groups pass the reply chance first; the
    // "[noword]" default answers when nothing matched and the chat type's default is on.
    std::string LookupReply(std::string_view content, int chat_type,
                            const config::Settings& settings, platform::Clock& clock) const;
    // Appends a learned pair to the base and the editor rows; marks the base dirty.
    void LearnPair(std::string_view question, std::string_view answer);
};

}  // namespace zelmo::messages
