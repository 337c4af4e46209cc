#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "protocol/JsonText.h"

// From every bracket: no end, or the matching closer further on.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = FuzzText(data, size);
    for (std::size_t open = 0; open < text.size(); ++open) {
        const std::size_t end = zelmo::protocol::FindJsonEnd(text, open);
        if (end == std::string_view::npos) {
            continue;
        }
        FUZZ_CHECK(text[open] == '[' || text[open] == '{');
        FUZZ_CHECK(end > open && end < text.size());
        FUZZ_CHECK(text[end] == (text[open] == '[' ? ']' : '}'));
    }
    return 0;
}
