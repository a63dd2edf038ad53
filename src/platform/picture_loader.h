#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/picture.h"

namespace mk::platform {

// Decodes image-file bytes other than a bitmap file: PNG, JPEG, the first
// frame of a GIF, or the largest image of an icon. Metafiles and anything
// else give nothing, as does a damaged or oversized file; nothing throws.
std::optional<Picture> loadPicture(std::span<const uint8_t> bytes) noexcept;

}  // namespace mk::platform
