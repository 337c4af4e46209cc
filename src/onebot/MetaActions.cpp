#include "onebot/ActionHandler.h"
#include "onebot/Events.h"

namespace zelmo::onebot {

using platform::Json;

namespace {

// A long poll waits at most this long, whatever it asks for.
constexpr std::int64_t MAX_POLL_S = 3600;

// An optional whole number param, at least 0; `fallback` when absent.
std::optional<std::int64_t> Count(const Json& params, std::string_view name, std::int64_t fallback,
                                  ActionResult& error) {
    const Json* value = params.Find(name);
    if (value == nullptr || value->IsNull()) {
        return fallback;
    }
    if (!value->IsInt() || value->AsInt() < 0) {
        error = Failed(BAD_PARAM, std::string(name) + " must be a whole number, 0 or more");
        return std::nullopt;
    }
    return value->AsInt();
}

}  // namespace

ActionResult GetStatus(const ActionContext& context) {
    const std::string self = SelfId(context);
    const bool online = context.parts.connection.Online() && !self.empty();
    const bool good = online && (!context.transports_good || context.transports_good());
    return Ok(StatusData(good, online, self));
}

void GetLatestEvents(const ActionContext& context, const Json& params, const ActionDone& done) {
    ActionResult error;
    const std::optional<std::int64_t> limit = Count(params, "limit", 0, error);
    const std::optional<std::int64_t> timeout =
        limit ? Count(params, "timeout", 0, error) : std::nullopt;
    if (!limit || !timeout) {
        done(std::move(error));
        return;
    }
    EventBuffer* events = context.events;
    const std::uint64_t ticket = events->TakeOrWait(
        static_cast<std::size_t>(*limit), [done](std::vector<std::string> taken) {
            Json list = Json::MakeArray();
            for (std::string& event : taken) {
                list.Push(Json::MakeRaw(std::move(event)));
            }
            done(Ok(std::move(list)));
        });
    if (ticket == 0) {
        return;
    }
    if (*timeout == 0 || !context.after) {
        events->Expire(ticket);
        return;
    }
    const int wait_ms = static_cast<int>(std::min(*timeout, MAX_POLL_S) * 1000);
    context.after(wait_ms, [events, ticket] { events->Expire(ticket); });
}

}  // namespace zelmo::onebot
