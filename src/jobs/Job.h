#pragma once

#include <array>
#include <string>

namespace zelmo::jobs {

// One unit of background work: a kind and exactly four texts (GBK); the poster fills the
// texts it needs and leaves the others empty. The queue knows no kind: each subsystem
// numbers the kinds it posts, and whoever runs the queue dispatches on them.
struct Job {
    int kind = 0;
    std::array<std::string, 4> texts;
};

}  // namespace zelmo::jobs
