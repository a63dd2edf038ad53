#include "platform/mapped_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace mk::platform {

std::size_t mappingUnit() noexcept {
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

void* mapMemory(std::size_t bytes) noexcept {
    const std::size_t size = mappedSize(bytes);
    if (size == SIZE_MAX) return nullptr;
    if constexpr (kHeapChecked) return std::calloc(1, size);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void unmapMemory(void* block, std::size_t bytes) noexcept {
    if constexpr (kHeapChecked) {
        std::free(block);
    } else if (block != nullptr) {
        munmap(block, mappedSize(bytes));
    }
}

}  // namespace mk::platform
