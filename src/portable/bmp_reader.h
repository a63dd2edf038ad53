#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/picture.h"

namespace mk::platform {

// Compression codes of a bitmap info header that we draw.
enum : uint32_t { kDibRgb = 0, kDibRle8 = 1, kDibRle4 = 2, kDibBitFields = 3, kDibAlphaBitFields = 6 };

// What an info header (40 bytes or one of the longer versions) says about the
// bitmap, with the byte counts it implies. A layout only exists for a
// combination of depth and compression that we decode.
struct DibLayout {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t paletteEntries = 0;  // colour-table entries the header declares
    uint64_t tableBytes = 0;      // bit masks and colour table after the header
    uint64_t pixelBytes = 0;      // pixel data: all rows, or the header's image size when compressed

    uint64_t descriptionBytes() const { return uint64_t{headerSize} + tableBytes; }
    int32_t rows() const { return height < 0 ? -height : height; }
};

// Bytes per stored row of uncompressed pixels: rows end on a 32-bit boundary.
inline uint64_t dibRowBytes(int32_t width, uint16_t bitCount) {
    return (uint64_t{static_cast<uint32_t>(width)} * bitCount + 31) / 32 * 4;
}

// Which picture row a stored row becomes: bottom-up unless the height is negative.
inline int dibPictureRow(const DibLayout& layout, int stored) {
    return layout.height < 0 ? stored : layout.rows() - 1 - stored;
}

// Reads the info header at the start of the description. Nothing when fewer
// than 40 bytes are given, the header declares itself shorter than 40 bytes,
// the size is empty or above kMaxPicturePixels, or depth and compression are
// not a combination we decode (1, 4 and 8 bits indexed, RLE8 at 8 and RLE4 at
// 4 bits bottom-up only, 24 bits plain, 16 and 32 bits plain or with masks).
std::optional<DibLayout> readDibLayout(std::span<const uint8_t> description);

// The layout of an icon's bitmap, whose info header declares twice its
// height: the colour rows, then as many rows of a 1-bit AND mask. Only
// uncompressed and masked bitmaps.
std::optional<DibLayout> iconBitmapLayout(std::span<const uint8_t> image);

// Sees each stored row (counted as stored, from 0) once decoded to 4-byte
// pixels, before it is sampled.
using DibRowHook = std::function<void(int stored, uint8_t* row)>;

// Decodes bitmap pixels, upright and opaque, into the plan's drawings. The
// description holds the info header with its masks and colour table, the
// bits the pixel data; nothing when either is shorter than the layout needs
// or compressed data runs out before the bitmap ends. Pixels that compressed
// data skips stay transparent. Rows no drawing shows are not decoded.
std::optional<std::vector<Picture>> decodeDib(const DibLayout& layout, std::span<const uint8_t> description,
                                              std::span<const uint8_t> bits, const SamplingPlan& plan,
                                              const DibRowHook& hook = {});

}  // namespace mk::platform
