#include "protocol/AnswerText.h"

#include "platform/Encoding.h"
#include "platform/JsonReader.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

std::string TokenText(std::string_view raw) {
    return platform::Utf8ToGbk(raw);
}

std::string ValueText(std::string_view raw) {
    // Most values hold no escape: convert them as they stand.
    if (raw.find('\\') == std::string_view::npos) {
        return platform::Utf8ToGbk(raw);
    }
    return platform::Utf8ToGbk(platform::UnescapeJson(raw));
}

std::string ShownText(std::string_view raw) {
    return DecodeHtmlEntities(ValueText(raw));
}

std::string NameText(std::string_view raw) {
    return DecodeHtmlEntities(StripSpanTags(ValueText(raw)));
}

}  // namespace zelmo::protocol
