#pragma once

#include <cstdint>
#include <vector>

#include "platform/device_context.h"
#include "platform/font.h"

namespace mk::platform {

// Memory operations of the drawing surface that need no drawing library:
// both systems' surfaces write these pixels themselves, so that fills and
// pictures come out the same everywhere.

// The dash lengths of 1-dot pens, in dots: dash, gap, dash, gap...; empty
// for a solid pen.
const std::vector<double>& cosmeticPattern(CosmeticStyle style);

// A 1-dot line from (x1, y1) to (x2, y2), the end point excluded, clipped to
// the target; with paintGaps the gaps of a dashed style take gapColor.
void drawOneDotLine(const PixelTarget& target, int x1, int y1, int x2, int y2, CosmeticStyle style, Colorref color,
                    bool paintGaps, Colorref gapColor);

// The pixel value of a colour in memory order blue, green, red, unused.
uint32_t pixelValue(Colorref color);

// Fills the box (l, t, r, b), right and bottom edges excluded, clipped to
// the target.
void fillBox(const PixelTarget& target, int left, int top, int right, int bottom, Colorref color);

// One axis of a stretch: the first destination pixel on the surface and, for
// it and each one after it that is on the surface, the source pixel under its
// centre (nearest neighbour). A negative size mirrors: the rectangle extends
// back from the origin, origin included, and shows the source reversed.
struct StretchAxis {
    int64_t first = 0;
    std::vector<int64_t> source;
};
StretchAxis stretchAxis(int origin, int destSize, int srcStart, int srcSize, int surfaceSize);

// DeviceContext::stretchPixels on the target's memory.
// The block copied unscaled with its top left at (x, y), clipped to the
// target: no sampling to work out, so a picture drawn a row at a time costs
// its pixels only.
void copyBlock(const PixelTarget& target, int x, int y, const PixelBlock& block);
void stretchBlock(const PixelTarget& target, int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                  int srcWidth, int srcHeight, const PixelBlock& block);

}  // namespace mk::platform
