#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Clock.h"

namespace zelmo::messages {

// The ClientMsgId and LocalID of the sends, in the web client's own shape: the Unix time in
// milliseconds followed by a four-digit counter (17 digits). Each id is larger than every
// one before it, even when the clock stands still or steps back, so no two sends of a run
// share one. Any thread.
class SendIds {
public:
    explicit SendIds(platform::Clock& clock) : m_clock(clock) {}

    std::string Next();

private:
    platform::Clock& m_clock;
    std::mutex m_mutex;
    std::int64_t m_last = 0;
    std::int64_t m_counter = 0;
};

}  // namespace zelmo::messages
