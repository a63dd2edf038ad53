#pragma once

// Image files made from pixels the tests define, in every format the image
// drawing reads, written with the same libraries (or by hand for bitmaps and
// icons).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mk::test {

// 0xAARRGGBB per pixel, rows top-down. Alpha 0 is transparent, 0xFF opaque.
struct TestImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;

    uint32_t at(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

inline constexpr uint32_t kOpaque = 0xFF000000u;

// A width x height image of four opaque quadrants: red top-left, green
// top-right, blue bottom-left, black bottom-right (odd sizes give the extra
// row and column to the bottom and right).
TestImage quadrantImage(int width, int height);

// A width x height image of one opaque colour (0xRRGGBB).
TestImage solidImage(int width, int height, uint32_t rgb);

enum class BmpCompression { None, BitFields, Rle8, Rle4 };

struct BmpOptions {
    int bitCount = 24;            // 1, 4, 8 (indexed), 16, 24, 32
    bool topDown = false;         // negative height
    uint32_t headerSize = 40;     // 40, 52, 56, 108, 124
    BmpCompression compression = BmpCompression::None;
    int extraPaletteEntries = 0;  // declared colour-table entries beyond those used
    bool declareFullPalette = false;  // coloursUsed 0: the table has 2^bitCount entries
};

// A bitmap file of the image; indexed depths get a palette of the image's
// colours (at most 2^bitCount of them). 16-bit plain is 5-5-5; 16-bit masks
// are 5-6-5; 32-bit masks put red, green and blue in the three high bytes.
// Alpha is ignored.
std::vector<uint8_t> encodeBmp(const TestImage& image, const BmpOptions& options = {});

// The palette encodeBmp gives an image: its distinct colours in first-seen order.
std::vector<uint32_t> paletteOf(const TestImage& image);

// The keyed kinds mark transparent pixels with a tRNS colour: 2-bit grey
// (levels 0, 170 and 255 only), 8-bit and 16-bit colour.
enum class PngKind { Rgba, Rgb, Gray, GrayAlpha, Palette, Rgba16, GrayTwoBitKeyed, RgbKeyed, Rgb16Keyed };

struct PngOptions {
    PngKind kind = PngKind::Rgba;
    bool interlaced = false;
};

std::vector<uint8_t> encodePng(const TestImage& image, const PngOptions& options = {});

// JPEG at quality 100 without chroma subsampling: baseline colour, or
// greyscale, or progressive.
struct JpegOptions {
    bool grayscale = false;
    bool progressive = false;
};
std::vector<uint8_t> encodeJpeg(const TestImage& image, const JpegOptions& options = {});

// GIF89a with a graphic control extension whose transparent index, if any
// transparent pixel exists, stands for every transparent pixel. The frame
// can sit at an offset inside a larger logical screen.
struct GifOptions {
    bool interlaced = false;
    int screenWidth = 0;  // 0: the image's size
    int screenHeight = 0;
    int left = 0;
    int top = 0;
};
std::vector<uint8_t> encodeGif(const TestImage& image, const GifOptions& options = {});

enum class IconImage { Bmp32Alpha, Bmp24Mask, Bmp8Mask, Png };

// An icon file holding the image (in the given form) and, before it, a
// smaller 1 x 1 opaque white image, so the reader must pick the larger.
std::vector<uint8_t> encodeIcon(const TestImage& image, IconImage form);

// The GIF with one more frame of the given extent after its first, its
// image data empty.
std::vector<uint8_t> withLaterGifFrame(std::vector<uint8_t> gif, int left, int top, int width, int height);

}  // namespace mk::test
