#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Encoding.h"
#include "protocol/AnswerCutReference.h"
#include "protocol/InitAnswer.h"
#include "protocol/LoginFlow.h"

// A profile is taken only with a Uin of digits and a UserName, and never points off the
// web-client host: by the one-pass reader of the answer bytes, and by the reference cut of
// their GBK text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const ServiceProfile profile;
    const std::string_view answer = FuzzText(data, size);
    const auto check = [](const OwnProfile& own) {
        FUZZ_CHECK(IsUin(own.Uin));
        FUZZ_CHECK(!own.UserName.empty());
        FUZZ_CHECK(own.HeadImgUrl.empty() || own.HeadImgUrl.starts_with("https://wx2.qq.com/"));
    };
    if (const std::optional<OwnProfile> own = ReadInitAnswer(profile, "2", answer).own) {
        check(*own);
    }
    OwnProfile own;
    own.Uin = "keep";
    if (!reference::ParseOwnProfile(profile, "2", zelmo::platform::Utf8ToGbk(answer), own)) {
        FUZZ_CHECK(own.Uin == "keep" && own.UserName.empty());
        return 0;
    }
    check(own);
    return 0;
}
