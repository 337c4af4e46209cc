#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Encoding.h"

// Any bytes give a GBK text no longer than them, which survives a trip through UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::platform;
    const std::string gbk = Utf8ToGbk(FuzzText(data, size));
    FUZZ_CHECK(gbk.size() <= size);
    FUZZ_CHECK(gbk.find('\0') == std::string::npos);
    FUZZ_CHECK(Utf8ToGbk(GbkToUtf8(gbk)) == gbk);
    return 0;
}
