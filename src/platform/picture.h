#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/mapped_memory.h"

namespace mk::platform {

// A decoded image: 4 bytes per pixel in the order blue, green, red, alpha,
// rows top-down, no padding. Alpha is 0 (leave the surface as it was) or 255
// (opaque); decoders reduce finer alpha to these two.
struct Picture {
    int width = 0;
    int height = 0;
    // Mapped when large, so that a decoded picture's memory goes back to the
    // system when it is dropped.
    std::vector<uint8_t, MappedAllocator<uint8_t>> pixels;

    uint8_t* pixel(int x, int y) { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
    const uint8_t* pixel(int x, int y) const { return pixels.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// Label files are untrusted: a header may declare any size, so every decoder
// refuses more pixels than this before it allocates anything for them.
inline constexpr int64_t kMaxPicturePixels = 100'000'000;

// A picture of the given size with every pixel transparent, or nothing when
// the size is not positive or exceeds kMaxPicturePixels.
std::optional<Picture> makePicture(int64_t width, int64_t height);

// Alpha at or above half counts as opaque, below as transparent.
inline uint8_t binaryAlpha(unsigned alpha) { return alpha >= 128 ? 255 : 0; }

// Little-endian reads from a span whose length the caller has checked.
inline uint16_t readLe16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
inline uint32_t readLe32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace mk::platform
