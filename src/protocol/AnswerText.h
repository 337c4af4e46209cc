#pragma once

#include <string>
#include <string_view>

namespace zelmo::protocol {

// The program's GBK texts from the raw content of a string in a UTF-8 answer (between its
// quotes, escapes as written). Characters GBK lacks and broken UTF-8 become "?".

// A protocol token (UserName, MsgId, a path): taken as written, escapes and all.
std::string TokenText(std::string_view raw);

// A text value (content, names): its JSON escapes decoded.
std::string ValueText(std::string_view raw);

// A text people read (Province, City, Alias, a remark): decoded, and the service's HTML
// entities read as their characters.
std::string ShownText(std::string_view raw);

// A nickname or signature: decoded, emoji markup and "?" removed, then entities read.
std::string NameText(std::string_view raw);

}  // namespace zelmo::protocol
