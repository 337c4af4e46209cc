#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "protocol/LoginFlow.h"

// A profile is taken only with a Uin of digits and a UserName, and never points off the
// web-client host.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const ServiceProfile profile;
    OwnProfile own;
    own.Uin = "keep";
    if (!ParseOwnProfile(profile, "2", FuzzText(data, size), own)) {
        FUZZ_CHECK(own.Uin == "keep" && own.UserName.empty());
        return 0;
    }
    FUZZ_CHECK(IsUin(own.Uin));
    FUZZ_CHECK(!own.UserName.empty());
    FUZZ_CHECK(own.HeadImgUrl.empty() || own.HeadImgUrl.starts_with("https://wx2.qq.com/"));
    return 0;
}
