#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

struct PixelSize {
    int64_t width = 0;
    int64_t height = 0;

    int64_t area() const { return width * height; }
};

// Label files are untrusted: a header may declare any size, so every decoder
// refuses more pixels than this before it allocates anything for them.
inline constexpr int64_t kMaxPicturePixels = 100'000'000;

// Decoders hold at least one source row whole (libpng two), 4 bytes a
// pixel: a picture 100 million pixels wide and one high would take 400 MB
// a row. 2^23 pixels keeps a row to 32 MiB and leaves every shape of 100
// megapixels that fits in rows of that width (5 882 353 x 17 among them).
inline constexpr int64_t kMaxPictureWidth = int64_t{1} << 23;

// Whether a picture of this size may be decoded at all.
inline bool withinPictureLimit(PixelSize size) {
    return size.width >= 1 && size.height >= 1 && size.width <= kMaxPictureWidth &&
           size.height <= kMaxPicturePixels && size.area() <= kMaxPicturePixels;
}

// A picture of the given size with every pixel transparent, or nothing when
// the size is not positive or exceeds kMaxPicturePixels.
std::optional<Picture> makePicture(int64_t width, int64_t height);

// The source pixels one drawing of a picture shows, nearest neighbour: for
// each column of the drawn picture the source column under it, and the
// source rows it shows, ascending and each once. The drawn picture is
// columns.size() x rows.size(): a picture drawn small costs its drawn size,
// not its source size.
struct PictureSampling {
    std::vector<int32_t> columns;
    std::vector<int32_t> rows;
};

// Once a decoder has read a picture's size from its headers, the drawings to
// decode it into (one picture each), or nothing to stop before any pixel is
// decoded.
using SamplingPlan = std::function<std::optional<std::vector<PictureSampling>>(PixelSize)>;

// Every pixel of a picture of this size, as it is.
PictureSampling wholePicture(PixelSize size);

// Takes a picture's source rows, whole, in any order, and keeps of each
// only what the drawings show. A decoder holds one source row at a time
// besides the drawn pictures.
class RowSampler {
public:
    // Nothing when the size exceeds kMaxPicturePixels or the plan stops.
    static std::optional<RowSampler> start(PixelSize size, const SamplingPlan& plan);

    int width() const { return static_cast<int>(size_.width); }
    int height() const { return static_cast<int>(size_.height); }
    // Whether any drawing shows source row y: a decoder may skip the others.
    bool wanted(int y) const;
    // Source row y, width() pixels of 4 bytes as a Picture holds them.
    void put(int y, const uint8_t* row);
    std::vector<Picture> finish() { return std::move(drawn_); }

private:
    PixelSize size_;
    std::vector<PictureSampling> samplings_;
    std::vector<Picture> drawn_;
};

// What a plan keeps of a picture already decoded whole (where the system
// decodes pictures whole); nothing when the plan stops.
std::optional<std::vector<Picture>> samplePicture(const Picture& picture, const SamplingPlan& plan);

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
