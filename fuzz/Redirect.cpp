#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzInput.h"
#include "protocol/LoginFlow.h"
#include "protocol/ServiceProfile.h"

// A poll, location or redirect answer: the URL it names, the host variant in it, and the
// credentials, which are only taken whole and well-formed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const std::string_view answer = FuzzText(data, size);
    const std::string url = RedirectUrlOf(answer);
    FUZZ_CHECK(url.empty() || url.find("fun") != std::string::npos);
    const ServiceProfile profile;
    for (const char c : FunFromUrl(profile, url)) {
        FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-');
    }
    if (const std::optional<LoginCredentials> credentials = ParseRedirectAnswer(answer)) {
        FUZZ_CHECK(IsUin(credentials->uin));
        FUZZ_CHECK(!credentials->sid.empty());
        FUZZ_CHECK(credentials->skey.find('@') == std::string::npos);
    }
    IsImage(answer);
    return 0;
}
