#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace zelmo::platform {

namespace {

constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
// Below this a mapping of its own costs more than huge pages save.
constexpr std::size_t LARGE = 4 * HUGE_PAGE;

std::size_t MappedSize(std::size_t bytes) {
    return (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) {
    if (bytes < LARGE) {
        void* memory = std::malloc(bytes == 0 ? 1 : bytes);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return memory;
    }
    // Mapped one huge page more than needed, and cut to start on a huge-page boundary,
    // so every page of it can be a huge one.
    const std::size_t size = MappedSize(bytes);
    void* mapped = ::mmap(nullptr, size + HUGE_PAGE, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    char* const start = static_cast<char*>(mapped);
    const auto address = reinterpret_cast<std::uintptr_t>(mapped);
    char* const memory = start + (HUGE_PAGE - address % HUGE_PAGE) % HUGE_PAGE;
    if (memory > start) {
        ::munmap(start, static_cast<std::size_t>(memory - start));
    }
    char* const end = start + size + HUGE_PAGE;
    if (end > memory + size) {
        ::munmap(memory + size, static_cast<std::size_t>(end - memory - size));
    }
    // Best effort: without huge pages the memory works the same.
    ::madvise(memory, size, MADV_HUGEPAGE);
    return memory;
}

void FreeLarge(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    if (bytes < LARGE) {
        std::free(memory);
        return;
    }
    ::munmap(memory, MappedSize(bytes));
}

}  // namespace zelmo::platform
