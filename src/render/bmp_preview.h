#pragma once

#include <cstdint>
#include <cstdio>

namespace mk {

// Pixels per metre for a resolution in dots per inch, rounded half up;
// saturates at the int range.
int32_t pixelsPerMetre(int dpi);

// Writes 32-bit pixels (rows top-down, stride bytes apart) as an
// uncompressed 32-bit BMP with bottom-up rows. False when a write fails.
bool writeBmpPreview(std::FILE* file, const uint8_t* pixels, int width, int height, int stride, int dpi);

}  // namespace mk
