#include "platform/Memory.h"

#include <malloc.h>

namespace zelmo::platform {

void ReturnFreeMemory() {
    ::malloc_trim(0);
}

}  // namespace zelmo::platform
