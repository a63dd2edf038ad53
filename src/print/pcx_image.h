#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mapped_memory.h"

namespace mk {

// One bit per pixel, rows of whole 32-bit words, leftmost pixel in the most
// significant bit; 1 is a light pixel.
struct MonochromeBitmap {
    int bytesPerLine = 0;
    std::vector<uint8_t> bits;
};

// Light pixels are those at least 0.9 × the label's mean luminance: the
// threshold follows the label's own brightness. An image without pixels
// gives an empty bitmap.
MonochromeBitmap toMonochrome(const uint8_t* pixels, int width, int height, int stride);

// A PCX file of the label in one bit per pixel, as the printer stores it.
platform::MappedString buildPcxImage(const uint8_t* pixels, int width, int height, int stride);

// Run-length codes one row; runs never cross rows.
void pcxEncodeRow(const uint8_t* row, int byteCount, platform::MappedString& out);

}  // namespace mk
