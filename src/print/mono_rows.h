#pragma once

// The per-row work of the monochrome conversion, in the plain loops every
// processor runs and, where the processor has them, in wide vector
// instructions chosen at run time. Both give exactly the same results.

#include <cstddef>
#include <cstdint>

namespace mk {

// The sum of the luminance, (38 × red + 75 × green + 15 × blue) >> 7, of
// width pixels of 32 bits (blue, green, red, unused).
uint64_t rowLuminanceSum(const uint8_t* row, size_t width);

// One bit per pixel, the leftmost in the high bit of the first byte: 1 when
// its luminance is at least the threshold. Bits after the last pixel, up to
// bytesPerLine bytes (at least (width + 7) / 8), are 0.
void thresholdRow(const uint8_t* row, size_t width, uint32_t threshold, uint8_t* out, size_t bytesPerLine);

// Which code runs: the widest the processor has (the default), or the plain
// loops. For tests, which check that both give the same bits.
enum class RowCode { Widest, Plain };
void useRowCode(RowCode code);

}  // namespace mk
