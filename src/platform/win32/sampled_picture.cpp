// The system's loader decodes a picture whole; what the drawings show is
// taken from it afterwards.
#include "platform/picture_loader.h"

#include <new>

namespace mk::platform {

std::optional<std::vector<Picture>> loadPicture(std::span<const uint8_t> bytes, const SamplingPlan& plan) noexcept {
    try {
        const std::optional<Picture> picture = loadPicture(bytes);
        if (!picture) return std::nullopt;
        return samplePicture(*picture, plan);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace mk::platform
