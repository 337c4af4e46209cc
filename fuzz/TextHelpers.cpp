#include "protocol/TextHelpers.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/GbkText.h"

// Input: two markers, then the text. Every cut is a piece of the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo;
    const auto fields = FuzzFields(data, size, 3);
    const std::string_view before = fields[0];
    const std::string_view after = fields[1];
    const std::string_view text = fields[2];

    const std::string between = protocol::ExtractBetween(text, before, after);
    FUZZ_CHECK(text.find(between) != std::string_view::npos);
    const std::string later = protocol::ExtractBetween(text, before, after, size % 97);
    FUZZ_CHECK(later.size() <= text.size());
    FUZZ_CHECK(text.ends_with(protocol::TextAfter(text, before)));
    FUZZ_CHECK(text.starts_with(protocol::TextBefore(text, after)));
    FUZZ_CHECK(text.starts_with(protocol::TextBefore(text, after, size % 89, true)));

    const std::string stripped = protocol::StripSpanTags(text);
    FUZZ_CHECK(stripped.size() <= text.size());
    FUZZ_CHECK(stripped.find('?') == std::string::npos);

    const std::size_t found = platform::FindGbk(text, before, 0, true);
    FUZZ_CHECK(found == std::string_view::npos || found + before.size() <= text.size());
    const std::string replaced = platform::ReplaceAllGbk(text, before, after, true);
    if (before.empty()) {
        FUZZ_CHECK(replaced == text);
    }
    FUZZ_CHECK(platform::TruncateGbk(text, size % 31).size() <= size % 31);
    return 0;
}
