#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Gzip.h"

// Any bytes end, within the limit; what is packed unpacks to itself.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t LIMIT = std::size_t{1} << 20;
    const std::string_view bytes = FuzzText(data, size);
    FUZZ_CHECK(zelmo::platform::Gunzip(bytes, LIMIT).size() <= LIMIT);
    if (size <= LIMIT) {
        FUZZ_CHECK(zelmo::platform::Gunzip(zelmo::platform::Gzip(bytes), LIMIT) == bytes);
    }
    return 0;
}
