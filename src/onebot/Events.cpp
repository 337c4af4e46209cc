#include "onebot/Events.h"

namespace zelmo::onebot {

using platform::Json;

Json SelfObject(std::string_view user_id) {
    Json self = Json::MakeObject();
    self.Set("platform", PLATFORM_NAME);
    self.Set("user_id", user_id);
    return self;
}

Json VersionData(std::string_view version) {
    Json data = Json::MakeObject();
    data.Set("impl", IMPL_NAME);
    data.Set("version", version);
    data.Set("onebot_version", ONEBOT_VERSION);
    return data;
}

Json StatusData(bool good, bool online, std::string_view self_id) {
    Json bot = Json::MakeObject();
    bot.Set("self", SelfObject(self_id));
    bot.Set("online", online);
    Json status = Json::MakeObject();
    status.Set("good", good);
    status.Set("bots", Json(Json::Array{std::move(bot)}));
    return status;
}

EventMaker::EventMaker(std::int64_t start_unix_ms) : m_prefix(std::to_string(start_unix_ms)) {}

Json EventMaker::Event(std::string_view type, std::string_view detail_type,
                       std::string_view sub_type, double time_s, std::string_view self_id) {
    Json event = Json::MakeObject();
    event.Set("id", m_prefix + "-" + std::to_string(m_count.fetch_add(1) + 1));
    event.Set("time", time_s);
    event.Set("type", type);
    event.Set("detail_type", detail_type);
    event.Set("sub_type", sub_type);
    if (!self_id.empty()) {
        event.Set("self", SelfObject(self_id));
    }
    return event;
}

Json EventMaker::Connect(double time_s, std::string_view version) {
    return Event("meta", "connect", "", time_s).Set("version", VersionData(version));
}

Json EventMaker::Heartbeat(double time_s, int interval_ms) {
    return Event("meta", "heartbeat", "", time_s).Set("interval", interval_ms);
}

Json EventMaker::StatusUpdate(double time_s, const Json& status) {
    return Event("meta", "status_update", "", time_s).Set("status", status);
}

}  // namespace zelmo::onebot
