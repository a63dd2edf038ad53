#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

inline bool looksLikeGif(std::span<const uint8_t> bytes) {
    return bytes.size() >= 6 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F' && bytes[3] == '8' &&
           (bytes[4] == '7' || bytes[4] == '9') && bytes[5] == 'a';
}

// Decodes the first frame of a GIF onto its logical screen. The frame's
// transparent colour and the screen outside the frame are transparent.
// Nothing for a damaged or oversized file or one without a frame.
// Row by row into the plan's drawings, one picture each.
std::optional<std::vector<Picture>> decodeGif(std::span<const uint8_t> bytes, const SamplingPlan& plan);

}  // namespace mk::platform
