#include "platform/mapped_memory.h"

namespace mk::platform {

std::size_t mappedSize(std::size_t bytes) noexcept {
    const std::size_t unit = mappingUnit();
    if (bytes == 0) return unit;
    if (bytes > SIZE_MAX - unit) return SIZE_MAX;
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace mk::platform
