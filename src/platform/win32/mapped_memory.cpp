#include "platform/mapped_memory.h"

#include <windows.h>

namespace mk::platform {

// Committed memory is counted in pages; the reservation's 64 KiB granularity
// only spaces the blocks' addresses.
std::size_t mappingUnit() noexcept { return 4096; }

void* mapMemory(std::size_t bytes) noexcept {
    const std::size_t size = mappedSize(bytes);
    if (size == SIZE_MAX) return nullptr;
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmapMemory(void* block, std::size_t /*bytes*/) noexcept {
    // The whole reservation goes back at once.
    if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace mk::platform
