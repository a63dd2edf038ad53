#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

// Decodes image-file bytes other than a bitmap file with the system's
// picture loader: JPEG, GIF (its first frame) and icons everywhere; PNG on
// Linux and where Windows' loader reads it; metafiles (WMF, EMF) on Windows
// only. Anything else gives nothing, as does a damaged or oversized file;
// nothing throws.
std::optional<Picture> loadPicture(std::span<const uint8_t> bytes) noexcept;

// The same decoding, kept only where the plan's drawings show it: one
// picture per sampling the plan gives for the size the file turns out to
// have. Where the system decodes row by row (Linux) no more than a source
// row is held besides the drawn pictures; elsewhere the whole picture is
// decoded first.
std::optional<std::vector<Picture>> loadPicture(std::span<const uint8_t> bytes, const SamplingPlan& plan) noexcept;

// What besides the bytes decides loadPicture's result on the calling thread:
// 0 where nothing does; on Windows the screen resolution the thread sees
// (its DPI awareness decides it), which sizes icons and metafiles.
int pictureLoaderContext() noexcept;

}  // namespace mk::platform
