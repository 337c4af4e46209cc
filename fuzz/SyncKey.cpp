#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "protocol/TextHelpers.h"

// A SyncKey is taken whole or not at all.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelmo::protocol::SyncKey key{"old", "{old}"};
    if (zelmo::protocol::UpdateSyncKey(FuzzText(data, size), key)) {
        FUZZ_CHECK(!key.text.empty());
        FUZZ_CHECK(key.json.starts_with("{\"Count\":") && key.json.ends_with("]}"));
    } else {
        FUZZ_CHECK(key.text == "old" && key.json == "{old}");
    }
    return 0;
}
