#pragma once

namespace zelmo::platform {

// Hands the pages of freed memory back to the system. After building large temporary
// tables, the allocator keeps much of what they used resident (the pieces below its
// threshold for separate mappings live on one heap); this returns it. Costs a walk over
// the free lists: call it after a large build, not in a loop.
void ReturnFreeMemory();

}  // namespace zelmo::platform
