#pragma once

#include <functional>

namespace zelmo::platform {

// Waits ms milliseconds; false when the wait ended early because the run stops. The robot
// hands its threads one that ends at its stop; tests hand one that runs on a fake clock.
using Pause = std::function<bool(int ms)>;

}  // namespace zelmo::platform
