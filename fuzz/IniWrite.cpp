#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/IniFile.h"

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

// Input: section, key, value, then the file's text. A written item reads back; a refused
// one leaves the text as it was.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::platform;
    const auto fields = FuzzFields(data, size, 4);
    const std::string_view section = fields[0];
    const std::string_view key = fields[1];
    const std::string_view value = fields[2];
    std::string text(fields[3]);
    const std::string before = text;
    if (!SetIniTextItem(text, section, key, value)) {
        FUZZ_CHECK(text == before);
        return 0;
    }
    FUZZ_CHECK(IniTextItem(text, section, key, "\x01missing") == Trimmed(value));
    // Writing the same again changes nothing: no second copy of the item.
    std::string again = text;
    FUZZ_CHECK(SetIniTextItem(again, section, key, value));
    FUZZ_CHECK(again == text);
    return 0;
}
