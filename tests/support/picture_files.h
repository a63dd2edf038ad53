#pragma once

// Picture files whose loaders decode more than their headers declare, made
// small: animated GIFs and metafiles that carry bitmaps.

#include <cstdint>
#include <vector>

namespace mk::test {

struct GifFrame {
    int left, top, width, height;
};

// A GIF of an 8 x 8 screen with two colours; every frame black, its image
// data real (100 megapixels take about 70 KB).
std::vector<uint8_t> gif(const std::vector<GifFrame>& frames);

// A placeable WMF of one inch square with one StretchDIB record that
// stretches a width x height bitmap over it; the bitmap is compressed so that
// it ends at once.
std::vector<uint8_t> wmfWithBitmap(int width, int height);

// An EMF whose frame is 1 inch square, holding one StretchDIBits record of
// such a bitmap.
std::vector<uint8_t> emfWithBitmap(int width, int height);

}  // namespace mk::test
