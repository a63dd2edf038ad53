#pragma once

// Memory taken from the system directly instead of the C runtime's heap. The
// heap keeps what it is given back in per-thread arenas, where large blocks
// stay resident long after they were freed; mapped blocks go back to the
// system the moment they are released.
//
// The rule for what a call makes: a container that may grow with the input
// (text layout, decoded data, composed texts, copies of a picture's bytes)
// takes MappedAllocator, so that from kMappedFromBytes on it is mapped for
// the call and gone when the call ends; nothing is allocated per character
// or per line. Surfaces come from the pool (block_pool.h), pictures are
// mapped. The host's allocator settings are never touched. This matters
// beyond the block itself: once the C runtime has mapped a large block and
// freed it, it raises its own threshold for mapping to that block's size,
// and every later block below it, the host's too, stays in the heaps.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>
#include <string>

namespace mk::platform {

// Under AddressSanitizer blocks come from its heap instead, which it watches
// for reads and writes beyond their ends; mapped pages it does not.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kHeapChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kHeapChecked = true;
#else
inline constexpr bool kHeapChecked = false;
#endif
#else
inline constexpr bool kHeapChecked = false;
#endif

// Blocks from this size on are mapped; smaller ones come from the heap.
inline constexpr std::size_t kMappedFromBytes = std::size_t{128} << 10;

// Whole pages of zeroes, at least bytes of them (rounded up to the system's
// mapping granularity); null when the system has no memory to give.
void* mapMemory(std::size_t bytes) noexcept;
// Gives back a block mapMemory made of the same size; null is ignored.
void unmapMemory(void* block, std::size_t bytes) noexcept;
// The unit the system maps memory in, and the size a request of bytes is
// mapped as (whole units; SIZE_MAX when that is beyond the address space).
std::size_t mappingUnit() noexcept;
std::size_t mappedSize(std::size_t bytes) noexcept;

// An allocator for containers that may grow large (decoded pictures, inflated
// blocks): mapped from kMappedFromBytes on, the heap below.
template <typename T>
struct MappedAllocator {
    using value_type = T;

    MappedAllocator() = default;
    template <typename U>
    MappedAllocator(const MappedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (kHeapChecked || bytes < kMappedFromBytes) return static_cast<T*>(::operator new(bytes));
        void* block = mapMemory(bytes);
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (kHeapChecked || bytes < kMappedFromBytes) {
            ::operator delete(block);
        } else {
            unmapMemory(block, bytes);
        }
    }

    template <typename U>
    bool operator==(const MappedAllocator<U>&) const noexcept {
        return true;
    }
};

// Text that may grow large (a print job, its graphic).
using MappedBytes = std::vector<uint8_t, MappedAllocator<uint8_t>>;
using MappedString = std::basic_string<char, std::char_traits<char>, MappedAllocator<char>>;

}  // namespace mk::platform
