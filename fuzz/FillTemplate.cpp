#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Clock.h"
#include "protocol/Templates.h"

namespace {

class FixedClock final : public zelmo::platform::Clock {
public:
    std::int64_t UnixMs() const override { return 1452859503801; }
    std::int64_t TickMs() const override { return 0; }
    int Random(int low, int) override { return low; }
};

}  // namespace

// Input: a value for every placeholder (one a line), then the template. Values go in as
// they are and are never expanded again.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmo::protocol;
    const auto fields = FuzzFields(data, size, 9);
    Session session;
    session.fun = fields[0];
    session.uin = fields[1];
    session.sid = fields[2];
    session.skey = fields[3];
    session.pass_ticket = fields[4];
    session.uuid = fields[5];
    CallValues call;
    call.message = fields[6];
    call.list = fields[7];
    const std::string_view text = fields[8];
    FixedClock clock;
    const std::string filled = FillTemplate(text, session, fields[7], clock, call);
    if (text.find('{') == std::string_view::npos) {
        FUZZ_CHECK(filled == text);
    }
    // A template made of one placeholder is exactly its value.
    FUZZ_CHECK(FillTemplate("{message}", session, "", clock, call) == call.message);
    FUZZ_CHECK(FillTemplate("{uin}{sid}", session, "", clock, call) == session.uin + session.sid);
    return 0;
}
