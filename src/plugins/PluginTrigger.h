#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "plugins/PluginTable.h"

namespace zelmo::plugins {

// The part of `content` the record's trigger passes to its plugin, or nullopt when the
// message is not meant for it:
// - blank Prefix: the whole content;
// - blank Suffix and blank ParamHint: the whole content if it contains Prefix (ASCII case
//   ignored);
// - blank Suffix only: the text after the first Prefix (case ignored), possibly empty;
// - otherwise the text between the first Prefix and the next Suffix (case kept), never
//   empty.
// "Blank" tests trim the fields; the searches use them untrimmed. GBK texts.
std::optional<std::string> SelectArgument(const PluginRecord& record, std::string_view content);

}  // namespace zelmo::plugins
