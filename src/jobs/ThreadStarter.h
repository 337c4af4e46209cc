#pragma once

#include <functional>

namespace zelmo::jobs {

// Runs a body on a new thread that the run owns and joins at its end; nothing the body
// throws escapes. False, and nothing started, once the run is stopping.
using ThreadStarter = std::function<bool(std::function<void()> body)>;

}  // namespace zelmo::jobs
