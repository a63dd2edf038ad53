#include "platform/mapped_memory.h"

#include <windows.h>

namespace mk::platform {

std::size_t mappedSize(std::size_t bytes) noexcept {
    constexpr std::size_t kPage = 4096;
    if (bytes == 0) return kPage;
    if (bytes > SIZE_MAX - kPage) return SIZE_MAX;
    return (bytes + kPage - 1) / kPage * kPage;
}

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
