#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "FuzzInput.h"
#include "protocol/LoginFlow.h"
#include "protocol/PushLogin.h"
#include "protocol/SavedSession.h"

// What keeps a session across restarts and re-logins reads the disk and the service: a
// saved session file, a push-login answer, a refused login's answer, a cookie jar.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const std::string_view text = FuzzText(data, size);

    if (const std::optional<SavedSession> saved = ParseSavedSession(text)) {
        FUZZ_CHECK(IsUin(saved->session.uin));
        // What was read is written back whole and reads the same.
        const std::optional<SavedSession> again = ParseSavedSession(FormatSavedSession(*saved));
        FUZZ_CHECK(again);
        FUZZ_CHECK(again->session.cookies == saved->session.cookies);
        FUZZ_CHECK(again->sync_key.json == saved->sync_key.json);
        FUZZ_CHECK(again->logged_out == saved->logged_out);
    }

    const std::string uuid = PushLoginUuid(text);
    FUZZ_CHECK(uuid.size() <= 64);
    FUZZ_CHECK(uuid.find_first_of("&?# \"\r\n") == std::string::npos);

    if (const std::optional<LoginRefusal> refusal = ParseRefusal(text)) {
        FUZZ_CHECK(refusal->ret != "0" && !refusal->ret.empty());
        FUZZ_CHECK(refusal->message.size() <= 2048);
    }

    const std::string jar = NewestCookies(text);
    // One pair per name.
    std::set<std::string> names;
    std::size_t pairs = 0;
    for (std::size_t start = 0; start < jar.size(); ++pairs) {
        std::size_t end = jar.find("; ", start);
        end = end == std::string::npos ? jar.size() : end;
        const std::string pair = jar.substr(start, end - start);
        names.insert(pair.substr(0, pair.find('=')));
        start = end + 2;
    }
    FUZZ_CHECK(names.size() == pairs);
    return 0;
}
