#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "platform/IniFile.h"

// Input: section, key, then the file's text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::platform;
    const auto fields = FuzzFields(data, size, 3);
    const std::string_view text = fields[2];
    const std::string value = IniTextItem(text, fields[0], fields[1],
                                          "\x01"
                                          "default");
    FUZZ_CHECK(value ==
                   "\x01"
                   "default" ||
               value.size() <= text.size());
    IniTextToBool(value);
    for (const IniEntry& entry : IniTextSection(text, fields[0])) {
        FUZZ_CHECK(!entry.key.empty());
        FUZZ_CHECK(entry.key.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.value.find('\n') == std::string::npos);
    }
    return 0;
}
