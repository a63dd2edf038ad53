#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

inline bool looksLikeJpeg(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

// Decodes a baseline or progressive JPEG in greyscale or colour into an
// opaque picture. Nothing for a damaged, oversized or CMYK file, or one
// beyond the scan and memory limits.
// Row by row into the plan's drawings, one picture each.
std::optional<std::vector<Picture>> decodeJpeg(std::span<const uint8_t> bytes, const SamplingPlan& plan);

}  // namespace mk::platform
