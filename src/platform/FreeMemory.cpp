#include "platform/FreeMemory.h"

// Any C library header says whether this is glibc; <malloc.h> and its options are glibc's.
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zelmo::platform {

namespace {

constexpr int OWN_PAGES_FROM = 256 * 1024;
constexpr int KEEP_AT_TOP = 1024 * 1024;

}  // namespace

void KeepLargeBlocksApart() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, OWN_PAGES_FROM);
    mallopt(M_TRIM_THRESHOLD, KEEP_AT_TOP);
#endif
}

void UseOneArena() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}

void ReturnFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace zelmo::platform
