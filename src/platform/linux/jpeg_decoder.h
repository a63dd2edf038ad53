#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture.h"

namespace mk::platform {

inline bool looksLikeJpeg(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// Decodes a baseline or progressive JPEG in greyscale or colour into an
// opaque picture. Nothing for a damaged, oversized or CMYK file.
std::optional<Picture> decodeJpeg(std::span<const uint8_t> bytes);

}  // namespace mk::platform
