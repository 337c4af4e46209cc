#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Json.h"

namespace zelmo::onebot {

inline constexpr std::string_view IMPL_NAME = "zelmo";
inline constexpr std::string_view PLATFORM_NAME = "wechat";
inline constexpr std::string_view ONEBOT_VERSION = "12";

// {"platform": "wechat", "user_id": <id>}
platform::Json SelfObject(std::string_view user_id);
// get_version's data, which meta.connect carries too.
platform::Json VersionData(std::string_view version);
// get_status's data, which meta.status_update carries too: good when every part works, and
// the one account, online when it can send and receive.
platform::Json StatusData(bool good, bool online, std::string_view self_id);

// Makes events with their common fields and ids that are unique in the run. Any thread.
class EventMaker {
public:
    // `start_unix_ms` tells this run's ids from those of earlier runs.
    explicit EventMaker(std::int64_t start_unix_ms);

    // id, time (Unix seconds), type, detail_type, sub_type, and self unless `self_id` is
    // empty (meta events carry none).
    platform::Json Event(std::string_view type, std::string_view detail_type,
                         std::string_view sub_type, double time_s, std::string_view self_id = {});

    platform::Json Connect(double time_s, std::string_view version);
    platform::Json Heartbeat(double time_s, int interval_ms);
    platform::Json StatusUpdate(double time_s, const platform::Json& status);

private:
    std::string m_prefix;
    std::atomic<std::uint64_t> m_count{0};
};

}  // namespace zelmo::onebot
