#include "render/bmp_preview.h"

#include <array>
#include <cstddef>

#include "portable/int_convert.h"

namespace mk {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;

using Header = std::array<uint8_t, kPixelOffset>;

void put16(Header& header, size_t at, uint16_t value) {
    header[at] = static_cast<uint8_t>(value);
    header[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(Header& header, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

int32_t pixelsPerMetre(int dpi) {
    return platform::truncToInt(dpi * 10000.0 / 254.0 + 0.5);
}

bool writeBmpPreview(std::FILE* file, const uint8_t* pixels, int width, int height, int stride, int dpi) {
    // 32 bits per pixel needs no row padding: a stored row is the buffer's row.
    const uint32_t rowSize = static_cast<uint32_t>(width) * 4;
    const uint32_t perMetre = static_cast<uint32_t>(pixelsPerMetre(dpi));
    Header header{};
    header[0] = 'B';
    header[1] = 'M';
    put32(header, 2, rowSize * static_cast<uint32_t>(height) + kPixelOffset);
    put32(header, 10, kPixelOffset);
    put32(header, 14, kInfoHeaderSize);
    put32(header, 18, static_cast<uint32_t>(width));
    put32(header, 22, static_cast<uint32_t>(height));  // positive: bottom row first
    put16(header, 26, 1);                               // planes
    put16(header, 28, 32);                              // bits per pixel
    // 30 compression, 34 image size: 0
    put32(header, 38, perMetre);
    put32(header, 42, perMetre);
    // 46 colours used, 50 important colours: 0
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    for (int row = height - 1; row >= 0 && ok; --row) {
        const uint8_t* start = pixels + static_cast<size_t>(row) * static_cast<size_t>(stride);
        ok = std::fwrite(start, 1, rowSize, file) == rowSize;
    }
    return ok;
}

}  // namespace mk
