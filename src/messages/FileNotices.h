#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "messages/KnowledgeBase.h"
#include "platform/TextFile.h"

namespace zelmo::messages {

// A message box the user must see about an account file: its title and text (GBK).
struct FileNotice {
    std::string title;
    std::string text;
};

// What the start-up says about a file it read: nothing when it was read as GBK or is
// missing; an error naming the file, the reason and `consequence` (GBK, what the robot
// does instead) when it could not be read or decoded; a note when it was converted from
// UTF-8, naming where the original is kept.
std::optional<FileNotice> ReadNotice(const platform::TextFileReport& report,
                                     std::string_view consequence);

// What a knowledge-base save must say: nothing when it was written where asked; the new
// file's name when the file read at start could not be read; the failure otherwise.
std::optional<FileNotice> SaveNotice(const ReplyBaseSave& saved);

}  // namespace zelmo::messages
