#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace zelmo::protocol {

// The MsgIds of the last messages handed on, so news the service brings again are
// skipped. Bounded: the oldest id is forgotten once `capacity` newer ones were added. One
// thread (the heartbeat's).
class RecentMessageIds {
public:
    static constexpr std::size_t DEFAULT_CAPACITY = 10000;

    explicit RecentMessageIds(std::size_t capacity = DEFAULT_CAPACITY);

    // True when the id is new (it is remembered from now on); false when it was seen
    // among the last `capacity` ids. An empty id is always new and never remembered.
    bool Add(std::string_view id);

    std::size_t Size() const { return m_order.size(); }

private:
    std::size_t m_capacity;
    // The service's ids are decimal numbers below 2^64 and are kept as such, exactly;
    // any other id by its hash.
    std::deque<std::uint64_t> m_order;
    std::unordered_set<std::uint64_t> m_known;
};

}  // namespace zelmo::protocol
