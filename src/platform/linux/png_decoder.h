#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

inline bool looksLikePng(std::span<const uint8_t> bytes) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(kSignature, kSignature + 8, bytes.begin());
}

// Decodes a PNG of any colour type and depth; alpha and tRNS transparency
// become transparent pixels. Nothing for a damaged or oversized file.
// Row by row into the plan's drawings, one picture each.
std::optional<std::vector<Picture>> decodePng(std::span<const uint8_t> bytes, const SamplingPlan& plan);

}  // namespace mk::platform
