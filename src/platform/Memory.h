#pragma once

#include <cstddef>
#include <new>

namespace zelmo::platform {

// Memory for a large array read at random: mapped on its own and, where the system
// allows, backed by huge pages (far fewer page faults to fill it and TLB misses to read
// it). Small sizes come from the usual heap. Throws std::bad_alloc like operator new.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* memory, std::size_t bytes) noexcept;

// A standard allocator over AllocateLarge, for std::vector.
template <class T>
struct LargeArrayAllocator {
    using value_type = T;

    LargeArrayAllocator() = default;
    template <class U>
    explicit LargeArrayAllocator(const LargeArrayAllocator<U>&) {}

    // NOLINTBEGIN(readability-identifier-naming): the standard's names.
    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(AllocateLarge(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept { FreeLarge(memory, count * sizeof(T)); }
    // NOLINTEND(readability-identifier-naming)
    friend bool operator==(const LargeArrayAllocator&, const LargeArrayAllocator&) { return true; }
};

}  // namespace zelmo::platform
