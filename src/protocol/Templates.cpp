#include "protocol/Templates.h"

#include <array>
#include <optional>
#include <utility>

#include "platform/GbkText.h"
#include "protocol/TextHelpers.h"

namespace zelmo::protocol {

std::string FillTemplate(std::string_view text, const Session& session,
                         std::string_view sync_key_json, platform::Clock& clock,
                         const CallValues& call) {
    std::optional<std::string> time;  // taken on the first {time}, shared by the rest
    const std::array<std::pair<std::string_view, std::string_view>, 15> values = {{
        {"{fun}", session.fun},
        {"{uin}", session.uin},
        {"{sid}", session.sid},
        {"{skey}", session.skey},
        {"{pass_ticket}", session.pass_ticket},
        {"{deviceid}", session.deviceid},
        {"{uuid}", session.uuid},
        {"{Delay}", session.Delay},
        {"{SyncKey}", sync_key_json},
        {"{username}", call.username},
        {"{from}", call.from},
        {"{to}", call.to},
        {"{message}", call.message},
        {"{remarkname}", call.remarkname},
        {"{list}", call.list},
    }};
    constexpr std::string_view TIME = "{time}";

    std::string out;
    out.reserve(text.size() + 64);
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] != '{') {
            const std::size_t length = platform::GbkCharLength(text, pos);
            out.append(text.substr(pos, length));
            pos += length;
            continue;
        }
        const std::string_view rest = text.substr(pos);
        if (rest.starts_with(TIME)) {
            if (!time) {
                time = TimeStamp(clock);
            }
            out.append(*time);
            pos += TIME.size();
            continue;
        }
        bool replaced = false;
        for (const auto& [name, value] : values) {
            if (rest.starts_with(name)) {
                out.append(value);
                pos += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out.push_back('{');
            ++pos;
        }
    }
    return out;
}

std::string FillTemplate(std::string_view text, const ProtocolState& state, platform::Clock& clock,
                         const CallValues& call) {
    // Only the heartbeat thread writes the SyncKey after the start-up, and only its sync
    // request carries {SyncKey}: every other request, on any thread, leaves it unread.
    const bool wants_key = text.find("{SyncKey}") != std::string_view::npos;
    return FillTemplate(text, state.session,
                        wants_key ? std::string_view(state.sync_key.json) : std::string_view(),
                        clock, call);
}

}  // namespace zelmo::protocol
