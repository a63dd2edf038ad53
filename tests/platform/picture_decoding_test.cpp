// Decoding every image format the label images may hold, through the image
// drawing: each file is drawn at its natural size at the origin and the
// surface read back.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "portable/picture_header.h"
#include "platform/picture_loader.h"
#include "render/image_object.h"
#include "support/hostile_objects.h"
#include "support/image_surface.h"
#include "support/test_images.h"

namespace mk::test {
namespace {

// Eight colours in a pattern with no two neighbours alike along a row, so
// runs, literals and row order all show.
TestImage eightColourImage(int width, int height) {
    static constexpr uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000,
                                            0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x808080};
    TestImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Long runs in the top half, alternating pixels in the bottom.
            int colour = y < height / 2 ? (x / 5 + y) % 8 : (x + y) % 8;
            image.argb.push_back(kOpaque | kColours[colour]);
        }
    }
    return image;
}

TestImage twoColourImage(int width, int height) {
    TestImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.argb.push_back(kOpaque | ((x * 3 + y) % 5 < 2 ? 0x000000 : 0xFFFFFF));
    }
    return image;
}

// Some pixels of the image made transparent: a block in the middle.
TestImage withTransparentBlock(TestImage image) {
    for (int y = image.height / 3; y < image.height * 2 / 3; ++y) {
        for (int x = image.width / 3; x < image.width * 2 / 3; ++x) image.argb[y * image.width + x] = 0;
    }
    return image;
}

struct DecodeCase {
    std::string name;
    TestImage picture;
    std::function<std::vector<uint8_t>(const TestImage&)> encode;
    int tolerance = 0;
};

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class PictureDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PictureDecoding, DrawsThePixelsItWasMadeFrom) {
    const DecodeCase& c = GetParam();
    std::vector<uint8_t> bytes = c.encode(c.picture);
    EXPECT_LE(largestDifference(drawAtOrigin(bytes, c.picture.width, c.picture.height), c.picture), c.tolerance);
    // What the headers declare is what is decoded.
    const auto declared = platform::declaredPixelSize(bytes, 96);
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->width, c.picture.width);
    EXPECT_EQ(declared->height, c.picture.height);
}

// Every cut-off copy is refused whole rather than drawn in part.
TEST_P(PictureDecoding, EveryTruncatedCopyDrawsNothing) {
    const DecodeCase& c = GetParam();
    std::vector<uint8_t> bytes = c.encode(c.picture);
    // A GIF is read only up to its first frame; the trailer byte after it is not needed.
    size_t needed = bytes.size() - (c.name.starts_with("Gif") ? 1 : 0);
    for (size_t length = 0; length < needed; ++length) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
        auto dc = untouchedSurface(c.picture.width, c.picture.height);
        mk::CallPictures pictures;
        drawImageObject(*dc, imageObject(prefix), 203, pictures);
        ASSERT_FALSE(drawnBox(*dc)) << length << " of " << bytes.size() << " bytes";
    }
}

std::function<std::vector<uint8_t>(const TestImage&)> bmp(BmpOptions options) {
    return [options](const TestImage& image) { return encodeBmp(image, options); };
}
BmpOptions depth(int bitCount) {
    BmpOptions options;
    options.bitCount = bitCount;
    return options;
}
BmpOptions compressed(int bitCount, BmpCompression compression) {
    BmpOptions options = depth(bitCount);
    options.compression = compression;
    return options;
}
BmpOptions topDown(BmpOptions options) {
    options.topDown = true;
    return options;
}
BmpOptions header(BmpOptions options, uint32_t size) {
    options.headerSize = size;
    return options;
}
BmpOptions extraPalette(BmpOptions options, int entries) {
    options.extraPaletteEntries = entries;
    return options;
}
BmpOptions fullPalette(BmpOptions options) {
    options.declareFullPalette = true;
    return options;
}

std::function<std::vector<uint8_t>(const TestImage&)> png(PngKind kind, bool interlaced = false) {
    return [kind, interlaced](const TestImage& image) { return encodePng(image, PngOptions{kind, interlaced}); };
}

// Greys a 2-bit PNG holds, but for the level 85.
TestImage threeGreyImage(int width, int height) {
    static constexpr uint32_t kGreys[] = {0x000000, 0xAAAAAA, 0xFFFFFF};
    TestImage image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image.argb.push_back(kOpaque | kGreys[(x + 2 * y) % 3]);
    }
    return image;
}

TestImage grayImage() {
    TestImage image{9, 7, {}};
    for (int i = 0; i < 63; ++i) {
        uint32_t v = static_cast<uint32_t>(i * 4);
        image.argb.push_back(kOpaque | v << 16 | v << 8 | v);
    }
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, PictureDecoding,
    ::testing::Values(
        DecodeCase{"Bmp1", twoColourImage(37, 5), bmp(depth(1))},
        DecodeCase{"Bmp4", eightColourImage(13, 6), bmp(depth(4))},
        DecodeCase{"Bmp8", eightColourImage(13, 6), bmp(depth(8))},  // a table of the 8 colours used
        // Five bits per channel: grey 0x80 comes back as 0x84.
        DecodeCase{"Bmp16", eightColourImage(13, 6), bmp(depth(16)), 4},
        DecodeCase{"Bmp24", eightColourImage(13, 6), bmp(depth(24))},
        DecodeCase{"Bmp32", eightColourImage(13, 6), bmp(depth(32))},
        DecodeCase{"Bmp16Masks", eightColourImage(13, 6), bmp(compressed(16, BmpCompression::BitFields)), 4},
        DecodeCase{"Bmp32Masks", eightColourImage(13, 6), bmp(compressed(32, BmpCompression::BitFields))},
        DecodeCase{"Bmp32MasksInLongHeader", eightColourImage(13, 6),
                   bmp(header(compressed(32, BmpCompression::BitFields), 108))},
        DecodeCase{"Bmp16MasksInHeader52", eightColourImage(13, 6),
                   bmp(header(compressed(16, BmpCompression::BitFields), 52)), 4},
        DecodeCase{"Bmp8Header124", eightColourImage(13, 6), bmp(header(depth(8), 124))},
        DecodeCase{"Bmp24Header56", eightColourImage(13, 6), bmp(header(depth(24), 56))},
        DecodeCase{"Bmp8TopDown", eightColourImage(13, 6), bmp(topDown(depth(8)))},
        DecodeCase{"Bmp24TopDown", eightColourImage(13, 6), bmp(topDown(depth(24)))},
        DecodeCase{"Bmp8FullPalette", eightColourImage(13, 6), bmp(fullPalette(depth(8)))},
        DecodeCase{"Bmp8PaletteLongerThanDepth", eightColourImage(13, 6), bmp(extraPalette(depth(8), 300))},
        DecodeCase{"Bmp4PaletteLongerThanDepth", eightColourImage(13, 6), bmp(extraPalette(depth(4), 20))},
        DecodeCase{"Bmp24WithOptionalPalette", eightColourImage(13, 6), bmp(extraPalette(depth(24), 3))},
        DecodeCase{"BmpRle8", eightColourImage(23, 6), bmp(compressed(8, BmpCompression::Rle8))},
        DecodeCase{"BmpRle4", eightColourImage(23, 6), bmp(compressed(4, BmpCompression::Rle4))},
        DecodeCase{"BmpRle4OddLiterals", eightColourImage(7, 4), bmp(compressed(4, BmpCompression::Rle4))}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureDecoding,
    ::testing::Values(
        DecodeCase{"PngRgba", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::Rgba)},
        DecodeCase{"PngRgb", eightColourImage(12, 9), png(PngKind::Rgb)},
        DecodeCase{"PngGray", grayImage(), png(PngKind::Gray)},
        DecodeCase{"PngGrayAlpha", withTransparentBlock(grayImage()), png(PngKind::GrayAlpha)},
        DecodeCase{"PngPaletteWithTransparency", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::Palette)},
        DecodeCase{"PngSixteenBit", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::Rgba16)},
        DecodeCase{"PngInterlaced", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::Rgba, true)},
        DecodeCase{"PngTwoBitGrayKeyed", withTransparentBlock(threeGreyImage(13, 9)), png(PngKind::GrayTwoBitKeyed)},
        DecodeCase{"PngRgbKeyed", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::RgbKeyed)},
        DecodeCase{"PngRgbKeyedInterlaced", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::RgbKeyed, true)},
        DecodeCase{"PngSixteenBitKeyed", withTransparentBlock(eightColourImage(12, 9)), png(PngKind::Rgb16Keyed)},
        DecodeCase{"Jpeg", quadrantImage(16, 16), [](const TestImage& i) { return encodeJpeg(i); }, 24},
        DecodeCase{"JpegGray", grayImage(), [](const TestImage& i) { return encodeJpeg(i, {.grayscale = true}); }, 4},
        DecodeCase{"JpegProgressive", quadrantImage(16, 16),
                   [](const TestImage& i) { return encodeJpeg(i, {.progressive = true}); }, 24},
        // libjpeg skips bytes between segments up to the next 0xFF; so does the header reader.
        DecodeCase{"JpegJunkAfterApp0", quadrantImage(16, 16),
                   [](const TestImage& i) {
                       std::vector<uint8_t> jpeg = encodeJpeg(i);
                       const size_t afterApp0 = 4 + (size_t{jpeg[4]} << 8 | jpeg[5]);
                       jpeg.insert(jpeg.begin() + static_cast<long>(afterApp0), {0x00, 0x12, 0xFE, 0x01});
                       return jpeg;
                   },
                   24},
        DecodeCase{"Gif", eightColourImage(12, 9), [](const TestImage& i) { return encodeGif(i); }},
        DecodeCase{"GifTransparent", withTransparentBlock(eightColourImage(12, 9)),
                   [](const TestImage& i) { return encodeGif(i); }},
        DecodeCase{"GifInterlaced", eightColourImage(12, 19),
                   [](const TestImage& i) { return encodeGif(i, {.interlaced = true}); }},
        DecodeCase{"IconPng", withTransparentBlock(eightColourImage(12, 9)),
                   [](const TestImage& i) { return encodeIcon(i, IconImage::Png); }},
        DecodeCase{"IconBmp32Alpha", withTransparentBlock(eightColourImage(12, 9)),
                   [](const TestImage& i) { return encodeIcon(i, IconImage::Bmp32Alpha); }},
        DecodeCase{"IconBmp24Mask", withTransparentBlock(eightColourImage(12, 9)),
                   [](const TestImage& i) { return encodeIcon(i, IconImage::Bmp24Mask); }},
        DecodeCase{"IconBmp8Mask", withTransparentBlock(eightColourImage(12, 9)),
                   [](const TestImage& i) { return encodeIcon(i, IconImage::Bmp8Mask); }}),
    [](const auto& info) { return info.param.name; });

// ---- Bitmaps that do not check out ----

void patch32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
void patch16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Byte offsets in a bitmap file.
constexpr size_t kPixelOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22, kBitCount = 28,
                 kCompression = 30, kImageSize = 34, kColoursUsed = 46;

struct DamageCase {
    std::string name;
    BmpOptions options;
    std::function<void(std::vector<uint8_t>&)> damage;
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedBitmap : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedBitmap, DrawsNothing) {
    const DamageCase& c = GetParam();
    std::vector<uint8_t> file = encodeBmp(eightColourImage(12, 6), c.options);
    c.damage(file);
    auto dc = untouchedSurface(40, 40);
    mk::CallPictures pictures;
    drawImageObject(*dc, imageObject(file), 203, pictures);
    EXPECT_FALSE(drawnBox(*dc));
}

std::vector<uint8_t> runLengthFile(const std::vector<uint8_t>& data, int bitCount) {
    std::vector<uint8_t> file =
        encodeBmp(eightColourImage(12, 6), compressed(bitCount, bitCount == 8 ? BmpCompression::Rle8 : BmpCompression::Rle4));
    size_t offset = file[kPixelOffset] | file[kPixelOffset + 1] << 8;
    file.resize(offset);
    file.insert(file.end(), data.begin(), data.end());
    patch32(file, kImageSize, static_cast<uint32_t>(data.size()));
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Checks, DamagedBitmap,
    ::testing::Values(
        DamageCase{"CoreHeader", depth(24), [](auto& f) { patch32(f, kHeaderSize, 12); }},
        DamageCase{"PixelsInsideTheColourTable", depth(8), [](auto& f) { patch32(f, kPixelOffset, 54 + 4); }},
        DamageCase{"PaletteCountBeyondEverything", depth(8), [](auto& f) { patch32(f, kColoursUsed, 0xFFFFFFFFu); }},
        DamageCase{"HeaderSizeBeyondEverything", depth(24), [](auto& f) { patch32(f, kHeaderSize, 0xFFFFFFF0u); }},
        DamageCase{"ZeroWidth", depth(24), [](auto& f) { patch32(f, kWidth, 0); }},
        DamageCase{"NegativeWidth", depth(24), [](auto& f) { patch32(f, kWidth, static_cast<uint32_t>(-12)); }},
        DamageCase{"ZeroHeight", depth(24), [](auto& f) { patch32(f, kHeight, 0); }},
        DamageCase{"SmallestHeight", depth(24), [](auto& f) { patch32(f, kHeight, 0x80000000u); }},
        DamageCase{"WiderThanItsPixels", depth(24), [](auto& f) { patch32(f, kWidth, 13); }},
        DamageCase{"HugeButEmpty", depth(24), [](auto& f) { patch32(f, kWidth, 30000), patch32(f, kHeight, 30000); }},
        DamageCase{"UnknownDepth", depth(24), [](auto& f) { patch16(f, kBitCount, 7); }},
        DamageCase{"EmbeddedJpeg", depth(24), [](auto& f) { patch32(f, kCompression, 4); }},
        DamageCase{"MasksOnTwentyFourBits", depth(24), [](auto& f) { patch32(f, kCompression, 3); }},
        DamageCase{"Rle8OnFourBits", depth(4), [](auto& f) { patch32(f, kCompression, 1); }},
        DamageCase{"TopDownRunLength", compressed(8, BmpCompression::Rle8),
                   [](auto& f) { patch32(f, kHeight, static_cast<uint32_t>(-6)); }},
        DamageCase{"RunLengthImageSizeBeyondTheEnd", compressed(8, BmpCompression::Rle8),
                   [](auto& f) { patch32(f, kImageSize, static_cast<uint32_t>(f.size())); }},
        DamageCase{"RunLengthWithoutEnd", depth(24), [](auto& f) { f = runLengthFile({4, 1, 0, 0, 4, 2}, 8); }},
        DamageCase{"RunLengthLiteralCut", depth(24), [](auto& f) { f = runLengthFile({0, 5, 1, 2, 3}, 8); }},
        DamageCase{"RunLengthMoveCut", depth(24), [](auto& f) { f = runLengthFile({0, 2, 1}, 4); }},
        DamageCase{"RunLengthEmpty", depth(24), [](auto& f) { f = runLengthFile({}, 8); }}),
    [](const auto& info) { return info.param.name; });

// Pixels that run-length data moves over keep what the surface had.
TEST(RunLengthBitmap, SkippedPixelsLeaveTheSurface) {
    // Bottom row: move 3 right, two pixels of index 1, end of line; top row:
    // one pixel of index 0; end of bitmap.
    std::vector<uint8_t> file = runLengthFile({0, 2, 3, 0, 2, 1, 0, 0, 1, 0, 0, 1}, 8);
    patch32(file, kWidth, 6);
    patch32(file, kHeight, 2);
    TestImage drawn = drawAtOrigin(file, 6, 2);
    std::vector<uint32_t> palette = paletteOf(eightColourImage(12, 6));
    TestImage expected{6, 2, std::vector<uint32_t>(12, 0)};
    expected.argb[0] = kOpaque | palette[0];
    expected.argb[6 + 3] = expected.argb[6 + 4] = kOpaque | palette[1];
    EXPECT_EQ(largestDifference(drawn, expected), 0);
}

// Run-length rows longer than the bitmap are cut at its edge; rows beyond
// its top are dropped.
TEST(RunLengthBitmap, RunsPastTheEdgesAreClipped) {
    std::vector<uint8_t> file = runLengthFile({200, 2, 0, 0, 0, 3, 1, 1, 1, 0, 0, 2, 0, 9, 9, 0, 1}, 8);
    patch32(file, kWidth, 2);
    patch32(file, kHeight, 2);
    std::vector<uint32_t> palette = paletteOf(eightColourImage(12, 6));
    TestImage expected{2, 2, {kOpaque | palette[1], kOpaque | palette[1], kOpaque | palette[2], kOpaque | palette[2]}};
    EXPECT_EQ(largestDifference(drawAtOrigin(file, 2, 2), expected), 0);
}

// Partly transparent pixels are drawn opaque from half opacity up.
TEST(PictureLoader, PartialAlphaCountsFromHalfOpacity) {
    TestImage picture{4, 1, {0x01FF0000, 0x7FFF0000, 0x80FF0000, 0xFFFF0000}};
    TestImage drawn = drawAtOrigin(encodePng(picture), 4, 1);
    TestImage expected{4, 1, {0, 0, kOpaque | 0xFF0000, kOpaque | 0xFF0000}};
    EXPECT_EQ(largestDifference(drawn, expected), 0);
}

TEST(PictureLoader, IconDrawsItsLargestImage) {
    // The icon's first entry is a 1 x 1 white image; the 12 x 9 one is drawn.
    auto dc = untouchedSurface(30, 30);
    mk::CallPictures pictures;
    drawImageObject(*dc, imageObject(encodeIcon(eightColourImage(12, 9), IconImage::Bmp24Mask)), 203, pictures);
    auto box = drawnBox(*dc);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->width(), 12);
    EXPECT_EQ(box->height(), 9);
}

// The logical screen is the picture: a frame placed inside it moves with
// it, and the rest of the screen is transparent.
TEST(PictureLoader, GifFrameSitsOnItsLogicalScreen) {
    LabelObject object = imageObject(encodeGif(solidImage(3, 2, 0x0000FF), {.screenWidth = 10, .screenHeight = 8,
                                                                            .left = 4, .top = 5}));
    object.scale = 2.0f;
    object.hscale = object.vscale = 0.0f;
    auto dc = untouchedSurface(30, 30);
    mk::CallPictures pictures;
    drawImageObject(*dc, object, 203, pictures);
    auto box = drawnBox(*dc);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->left, 8);
    EXPECT_EQ(box->top, 10);
    EXPECT_EQ(box->width(), 6);
    EXPECT_EQ(box->height(), 4);
}

// A picture of 100 megapixels is drawn, one of a pixel more is not; every
// size a file declares counts, a GIF frame's with its offset.
struct LimitCase {
    std::string name;
    std::function<std::vector<uint8_t>()> bytes;
    bool drawn;
    float x = 0;          // mm: brings a far column to the surface
    bool fourDots = false;  // drawn 4 x 4 dots, not at its own size
};

void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.name; }

class PictureLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(PictureLimit, OneHundredMegapixelsAndNoMore) {
    LabelObject object = imageObject(GetParam().bytes());
    object.Xposition = GetParam().x;
    object.imagefixedsize = GetParam().fourDots;
    object.imagefixedwidth = object.imagefixedheight = 0.5f;
    auto dc = untouchedSurface(4, 4);
    mk::CallPictures pictures;
    drawImageObject(*dc, object, 203, pictures);
    EXPECT_EQ(drawnBox(*dc).has_value(), GetParam().drawn);
}

std::vector<uint8_t> gifOnScreen(int width, int height) {
    return encodeGif(solidImage(1, 1, 0x0000FF), {.screenWidth = width, .screenHeight = height});
}

// Column 9 999 of the picture lands on the surface.
constexpr float kColumn9999 = -9999.0f * 25.4f / 203.0f;

INSTANTIATE_TEST_SUITE_P(
    Sizes, PictureLimit,
    ::testing::Values(
        LimitCase{"GifScreen2000x3000", [] { return gifOnScreen(2000, 3000); }, true},
        LimitCase{"GifScreenOf100Megapixels", [] { return gifOnScreen(10000, 10000); }, true},
        LimitCase{"GifScreenOfAPixelRowMore", [] { return gifOnScreen(10001, 10000); }, false},
        LimitCase{"GifLargestScreen", [] { return gifOnScreen(65535, 65535); }, false},
        LimitCase{"GifFrameOffsetTo100Megapixels",
                  [] {
                      return encodeGif(solidImage(1, 1, 0x0000FF),
                                       {.screenWidth = 1, .screenHeight = 10000, .left = 9999});
                  },
                  true, kColumn9999},
        LimitCase{"GifFrameOffsetBeyond",
                  [] {
                      return encodeGif(solidImage(1, 1, 0x0000FF),
                                       {.screenWidth = 1, .screenHeight = 10000, .left = 10000});
                  },
                  false, kColumn9999},
        LimitCase{"GifLaterFrameOf100Megapixels", [] { return withLaterGifFrame(gifOnScreen(8, 8), 0, 0, 10000, 10000); },
                  true},
        LimitCase{"GifLaterFrameBeyond", [] { return withLaterGifFrame(gifOnScreen(8, 8), 1, 0, 10000, 10000); },
                  false},
        LimitCase{"BitmapOf100Megapixels", [] { return sparseRunLengthBitmap(10000, 10000, 0x0000FF, 4); }, true, 0, true},
        // 100 000 001 = 17 x 5 882 353
        LimitCase{"BitmapOfAPixelMore", [] { return sparseRunLengthBitmap(5882353, 17, 0x0000FF, 4); }, false, 0, true},
        LimitCase{"PngOfAPixelMore", [] { return blankPng(5882353, 17, true); }, false},
        // a row too wide to hold: 400 MB (1.5 GB and 3.8 s before)
        LimitCase{"PngOneRowOf100Megapixels", [] { return blankPng(100000000, 1, true); }, false},
        LimitCase{"PngRowsOfTheWidestWidth", [] { return blankPng(8388608, 2, true); }, true, 0, true}),
    [](const auto& info) { return info.param.name; });

TEST(PictureLoader, ReadsFormatsBySignatureOnly) {
    EXPECT_TRUE(platform::loadPicture(encodePng(quadrantImage(4, 4))));
    EXPECT_FALSE(platform::loadPicture(encodeBmp(quadrantImage(4, 4))));  // bitmap files take the other road
    std::vector<uint8_t> png = encodePng(quadrantImage(4, 4));
    png[1] = 'p';
    EXPECT_FALSE(platform::loadPicture(png));
}

}  // namespace
}  // namespace mk::test
