#include <cstddef>
#include <cstdint>
#include <optional>

#include "FuzzInput.h"
#include "contacts/ContactKeys.h"
#include "contacts/ContactStore.h"
#include "onebot/Action.h"
#include "onebot/ReceivedEvents.h"
#include "onebot/Segments.h"
#include "platform/Clock.h"
#include "platform/Json.h"

// Any bytes as JSON, as an action request and as a received item: read without a crash, and
// every JSON text made from them reads back as what it was made from.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zelmo::platform::Json;
    const std::string_view text = FuzzText(data, size);
    if (const std::optional<Json> value = zelmo::platform::ParseJson(text)) {
        const std::optional<Json> again =
            zelmo::platform::ParseJson(zelmo::platform::WriteJson(*value));
        FUZZ_CHECK(again && *again == *value);
    }
    std::optional<Json> echo;
    if (const auto request = zelmo::onebot::ReadActionRequest(text, echo)) {
        zelmo::onebot::ActionResult error;
        if (const Json* message = request->params.Find("message")) {
            zelmo::onebot::ReadSegments(*message, error);
        }
        FUZZ_CHECK(zelmo::platform::ParseJson(zelmo::onebot::ResponseText(error, echo)));
    }
    const zelmo::contacts::ContactStore store;
    zelmo::platform::SystemClock clock;
    const zelmo::contacts::ContactKeys keys(clock);
    const zelmo::onebot::ContactIds ids(keys);
    zelmo::onebot::EventMaker maker(0);
    const zelmo::onebot::ItemContext context{"@self", "self", store, ids, 0};
    for (const Json& event : zelmo::onebot::EventsOfItem(text, context, maker).events) {
        FUZZ_CHECK(zelmo::platform::ParseJson(zelmo::platform::WriteJson(event)));
    }
    return 0;
}
