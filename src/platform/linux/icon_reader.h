#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

inline bool looksLikeIcon(std::span<const uint8_t> bytes) {
    return bytes.size() >= 6 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0;
}

// Decodes the largest image of an icon file (by the directory's sizes, then
// colour depth), stored as a bitmap with its AND mask or as a PNG. Masked
// pixels, and for 32-bit images with an alpha channel the transparent ones,
// stay transparent. Nothing when the directory or the image does not check out.
// Row by row into the plan's drawings, one picture each.
std::optional<std::vector<Picture>> decodeIcon(std::span<const uint8_t> bytes, const SamplingPlan& plan);

}  // namespace mk::platform
