// An allocator for arrays that Embree reads in place: it loads every vertex
// with a 16-byte instruction, so the last one must be followed by readable
// bytes. Each block is zeroed and padded, so those bytes are also defined.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace xr {

template <typename T> struct ShareableAllocator {
    using value_type = T;
    // What a 16-byte load of the last element may read beyond it.
    static constexpr size_t padding = 16;

    ShareableAllocator() = default;
    template <typename U> ShareableAllocator(const ShareableAllocator<U>&) {}

    T* allocate(size_t n) {
        if (n > (size_t(-1) - padding) / sizeof(T))
            throw std::bad_array_new_length();
        // calloc: large blocks come straight from the kernel, already zero.
        if (void* p = std::calloc(n * sizeof(T) + padding, 1))
            return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, size_t) { std::free(p); }

    template <typename U> bool operator==(const ShareableAllocator<U>&) const { return true; }
    template <typename U> bool operator!=(const ShareableAllocator<U>&) const { return false; }
};

} // namespace xr
