#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace mk::platform {

struct PixelSize {
    int64_t width = 0;
    int64_t height = 0;

    int64_t area() const { return width * height; }
};

// The size in pixels an image file's headers declare, read without decoding
// anything, so that a picture too large to draw is refused before any memory
// is taken for its pixels. For files that declare several sizes it is the
// largest of each: a GIF's screen and its first frame's extent, every image
// of an icon with the header of the image itself. Recognised: PNG, JPEG,
// GIF, bitmap files (BMP), icons and cursors, and (sized at metafileDpi
// pixels per inch, as the system sizes them) placeable WMF and EMF
// metafiles. Nothing for anything else, or for a header cut short.
std::optional<PixelSize> declaredPixelSize(std::span<const uint8_t> bytes, int metafileDpi);

}  // namespace mk::platform
