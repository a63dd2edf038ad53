#include "render/image_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "support/hostile_objects.h"
#include "support/image_surface.h"
#include "support/test_images.h"
#include "render/units.h"
#include "platform/picture_loader.h"

namespace mk::test {
namespace {

constexpr int kDpi = 203;

struct Drawn {
    std::unique_ptr<platform::DeviceContext> dc;
    std::optional<Box> box;
};

// Draws the bytes as an image object at (5, 5) mm, 203 dpi, on a 200 x 200 surface.
Drawn drawAtFiveMillimetres(const std::vector<uint8_t>& bytes, const std::function<void(LabelObject&)>& adjust = {}) {
    LabelObject object = imageObject(bytes);
    object.Xposition = 5.0f;
    object.Yposition = 5.0f;
    if (adjust) adjust(object);
    Drawn drawn{untouchedSurface(200, 200), std::nullopt};
    mk::CallPictures pictures;
    drawImageObject(*drawn.dc, object, kDpi, pictures);
    drawn.box = drawnBox(*drawn.dc);
    return drawn;
}

TEST(ImageObject, WithoutBytesDrawsNothing) {
    EXPECT_FALSE(drawAtFiveMillimetres({}).box);
}

struct SizeCase {
    std::string name;
    std::function<void(LabelObject&)> adjust;
    int width;
    int height;
};

void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }

class ImageObjectSize : public ::testing::TestWithParam<SizeCase> {};

// A 10 x 10 bitmap placed at 5 mm sits at dot 40; its size follows the scale rules.
TEST_P(ImageObjectSize, TenPixelBitmapAtFiveMillimetres) {
    const SizeCase& c = GetParam();
    Drawn drawn = drawAtFiveMillimetres(encodeBmp(quadrantImage(10, 10)), c.adjust);
    ASSERT_TRUE(drawn.box);
    EXPECT_EQ(drawn.box->left, 40);
    EXPECT_EQ(drawn.box->top, 40);
    EXPECT_EQ(drawn.box->width(), c.width);
    EXPECT_EQ(drawn.box->height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    ScaleRules, ImageObjectSize,
    ::testing::Values(
        SizeCase{"ScalesOne", [](LabelObject&) {}, 10, 10},
        SizeCase{"PerAxisScalesWin",
                 [](LabelObject& o) { o.hscale = 2.0f, o.vscale = 0.5f, o.scale = 3.0f; }, 20, 5},
        SizeCase{"UniformScaleWhenPerAxisZero", [](LabelObject& o) { o.hscale = 0, o.vscale = 0, o.scale = 3.0f; },
                 30, 30},
        SizeCase{"AllScalesZeroIsNaturalSize", [](LabelObject& o) { o.hscale = 0, o.vscale = 0, o.scale = 0; }, 10,
                 10},
        SizeCase{"NegativeScalesAreNaturalSize", [](LabelObject& o) { o.hscale = -2, o.vscale = -2, o.scale = -2; },
                 10, 10},
        // Only a per-axis scale above 0.01 counts.
        SizeCase{"PerAxisScaleOfExactlyOneHundredthFallsBack",
                 [](LabelObject& o) { o.hscale = 0.01f, o.vscale = 0.5f, o.scale = 2.0f; }, 20, 5},
        SizeCase{"ScaledSizeRoundsHalfUp", [](LabelObject& o) { o.hscale = 1.25f, o.vscale = 1.35f; }, 13, 14},
        SizeCase{"FixedSizeIgnoresScales",
                 [](LabelObject& o) {
                     o.imagefixedsize = true, o.imagefixedwidth = 10.0f, o.imagefixedheight = 5.0f;
                     o.hscale = 3.0f, o.vscale = 3.0f, o.scale = 2.0f;
                 },
                 80, 40},
        SizeCase{"FixedSizeKeepsNoProportions",
                 [](LabelObject& o) {
                     o.imagefixedsize = true, o.imagefixedwidth = 2.0f, o.imagefixedheight = 12.0f;
                     o.aspectRatio = true;
                 },
                 16, 96}),
    [](const auto& info) { return info.param.name; });

// The colour of each quadrant's centre, as 0xRRGGBB, for a picture drawn
// with the given box.
std::vector<uint32_t> quadrantCentres(const platform::DeviceContext& dc, const Box& box) {
    std::vector<uint32_t> colours;
    for (int qy : {1, 3}) {
        for (int qx : {1, 3}) colours.push_back(rgbAt(dc, box.left + box.width() * qx / 4, box.top + box.height() * qy / 4));
    }
    return colours;
}

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance) {
            return false;
        }
    }
    return true;
}

struct FormatCase {
    std::string name;
    std::function<std::vector<uint8_t>(const TestImage&)> encode;
    int tolerance;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.name; }

class ImageObjectFormat : public ::testing::TestWithParam<FormatCase> {};

// Whatever the file format, the same picture lands in the same place at the
// same size with the same colours.
TEST_P(ImageObjectFormat, SamePictureSamePlaceAndSize) {
    const FormatCase& c = GetParam();
    Drawn drawn = drawAtFiveMillimetres(c.encode(quadrantImage(16, 16)), [](LabelObject& o) {
        o.hscale = 2.0f;
        o.vscale = 3.0f;
    });
    ASSERT_TRUE(drawn.box);
    EXPECT_EQ(drawn.box->left, 40);
    EXPECT_EQ(drawn.box->top, 40);
    EXPECT_EQ(drawn.box->width(), 32);
    EXPECT_EQ(drawn.box->height(), 48);
    std::vector<uint32_t> expected = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};
    std::vector<uint32_t> actual = quadrantCentres(*drawn.dc, *drawn.box);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(near(actual[i], expected[i], c.tolerance))
            << "quadrant " << i << ": " << std::hex << actual[i] << " instead of " << expected[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, ImageObjectFormat,
    ::testing::Values(FormatCase{"Bmp", [](const TestImage& i) { return encodeBmp(i); }, 0},
                      FormatCase{"Png", [](const TestImage& i) { return encodePng(i); }, 0},
                      FormatCase{"Jpeg", [](const TestImage& i) { return encodeJpeg(i); }, 24},
                      FormatCase{"Gif", [](const TestImage& i) { return encodeGif(i); }, 0},
                      FormatCase{"Icon", [](const TestImage& i) { return encodeIcon(i, IconImage::Png); }, 0}),
    [](const auto& info) { return info.param.name; });

TEST(ImageObject, TopDownBitmapDrawsUprightLikeBottomUp) {
    TestImage picture = quadrantImage(10, 10);
    BmpOptions topDown;
    topDown.topDown = true;
    TestImage fromTopDown = drawAtOrigin(encodeBmp(picture, topDown), 12, 12);
    TestImage fromBottomUp = drawAtOrigin(encodeBmp(picture), 12, 12);
    EXPECT_EQ(fromTopDown.argb, fromBottomUp.argb);
    EXPECT_EQ(fromTopDown.at(0, 0), kOpaque | 0xFF0000);  // red stays top-left
    EXPECT_EQ(fromTopDown.at(9, 9), kOpaque | 0x000000);
}

TEST(ImageObject, EightBitBitmapUsesItsOwnPalette) {
    TestImage picture = solidImage(4, 2, 0x123456);
    picture.argb[1] = kOpaque | 0xABCDEF;
    picture.argb[6] = kOpaque | 0x0F1E2D;
    BmpOptions options;
    options.bitCount = 8;
    TestImage drawn = drawAtOrigin(encodeBmp(picture, options), 4, 2);
    EXPECT_EQ(drawn.argb, picture.argb);
}

TEST(ImageObject, EveryTruncatedBitmapDrawsNothing) {
    std::vector<uint8_t> file = encodeBmp(quadrantImage(10, 10));
    for (size_t length = 0; length < file.size(); ++length) {
        std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<long>(length));
        auto dc = untouchedSurface(12, 12);
        mk::CallPictures pictures;
        drawImageObject(*dc, imageObject(prefix), kDpi, pictures);
        EXPECT_FALSE(drawnBox(*dc)) << length << " of " << file.size() << " bytes";
    }
}

TEST(ImageObject, BitmapWithPixelOffsetBeyondTheEndDrawsNothing) {
    std::vector<uint8_t> file = encodeBmp(quadrantImage(10, 10));
    uint32_t beyond = static_cast<uint32_t>(file.size() + 1);
    for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<uint8_t>(beyond >> (8 * i));
    EXPECT_FALSE(drawAtFiveMillimetres(file).box);
}

TEST(ImageObject, BytesNoDecoderReadsDrawNothing) {
    const std::vector<std::vector<uint8_t>> unreadable = {
        {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'},
        {'B', 'M'},
        // A placeable metafile header: metafiles are not drawn.
        {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0x10, 0, 0x10, 0, 0x60, 0, 0, 0, 0, 0, 0, 0},
        std::vector<uint8_t>(4096, 0xFF),
    };
    for (const auto& bytes : unreadable) EXPECT_FALSE(drawAtFiveMillimetres(bytes).box);
}

TEST(ImageObject, NegativeFixedWidthMirrorsBackFromThePosition) {
    Drawn drawn = drawAtFiveMillimetres(encodeBmp(quadrantImage(10, 10)), [](LabelObject& o) {
        o.imagefixedsize = true;
        o.imagefixedwidth = -2.5f;  // -19.98 + 0.5 truncates to -19 dots
        o.imagefixedheight = 2.5f;
    });
    ASSERT_TRUE(drawn.box);
    EXPECT_EQ(drawn.box->right, 41);  // the position's own column is included
    EXPECT_EQ(drawn.box->width(), 19);
    EXPECT_EQ(rgbAt(*drawn.dc, 40, 40), 0xFF0000u);  // red, the left quadrant, now at the right
    EXPECT_EQ(rgbAt(*drawn.dc, 22, 40), 0x00FF00u);
}

TEST(ImageObject, HugeScaleIsClippedToTheSurface) {
    Drawn drawn = drawAtFiveMillimetres(encodeBmp(quadrantImage(10, 10)), [](LabelObject& o) {
        o.hscale = 3.0e38f;
        o.vscale = std::numeric_limits<float>::infinity();
    });
    ASSERT_TRUE(drawn.box);
    EXPECT_EQ(drawn.box->left, 40);
    EXPECT_EQ(drawn.box->right, 200);
    EXPECT_EQ(drawn.box->bottom, 200);
}

TEST(ImageObject, NotANumberScaleDrawsNothing) {
    Drawn drawn = drawAtFiveMillimetres(encodeBmp(quadrantImage(10, 10)), [](LabelObject& o) {
        o.hscale = std::nanf("");
        o.scale = std::nanf("");
    });
    EXPECT_FALSE(drawn.box);
}

TEST(ImageObject, TransparentPixelsLeaveTheSurface) {
    TestImage picture = quadrantImage(8, 8);
    for (int y = 2; y < 6; ++y) {
        for (int x = 2; x < 6; ++x) picture.argb[y * 8 + x] = 0;
    }
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"png", encodePng(picture)},
        {"gif", encodeGif(picture)},
        {"icon", encodeIcon(picture, IconImage::Bmp24Mask)},
    };
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(largestDifference(drawAtOrigin(bytes, 8, 8), picture), 0) << name;
    }
}

TEST(ImageObject, PositionOffTheSurfaceIsClipped) {
    Drawn drawn = drawAtFiveMillimetres(encodeBmp(quadrantImage(10, 10)), [](LabelObject& o) {
        o.Xposition = -0.5f;  // -3 dots after rounding toward zero: columns -3..6
        o.Yposition = 24.5f;  // dot 196: rows 196..199 remain
    });
    ASSERT_TRUE(drawn.box);
    EXPECT_EQ(drawn.box->left, 0);
    EXPECT_EQ(drawn.box->right, 7);
    EXPECT_EQ(drawn.box->top, 196);
    EXPECT_EQ(drawn.box->bottom, 200);
}

// Pictures of one call, each drawn 16 x 16 dots, 20 dots below the one
// before: which are drawn, and whether the call must fail.
struct BudgetCase {
    std::string name;
    std::function<std::vector<std::vector<uint8_t>>()> pictures;
    bool fails;
};

void PrintTo(const BudgetCase& c, std::ostream* out) { *out << c.name; }

class CallBudget : public ::testing::TestWithParam<BudgetCase> {};

std::vector<std::vector<uint8_t>> distinctBitmaps(int count, int width, int height) {
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < count; ++i) pictures.push_back(sparseRunLengthBitmap(width, height, 0x000010u * (i + 1), 16));
    return pictures;
}

TEST_P(CallBudget, DrawsEveryPictureOrFails) {
    const BudgetCase& c = GetParam();
    const auto pictures = c.pictures();
    std::vector<LabelObject> objects;
    for (size_t i = 0; i < pictures.size(); ++i) {
        LabelObject& object = objects.emplace_back(imageObject(pictures[i]));
        object.imagefixedsize = true;
        object.imagefixedwidth = object.imagefixedheight = 2.0f;  // 16 x 16 dots
        object.Yposition = 2.5f * static_cast<float>(i);          // 20 dots apart
    }
    auto dc = untouchedSurface(16, 20 * static_cast<int>(objects.size()));
    CallPictures call(objects);
    for (const LabelObject& object : objects) drawImageObject(*dc, object, kDpi, call);
    EXPECT_EQ(call.failed(), c.fails);
    if (c.fails) return;
    for (size_t i = 0; i < objects.size(); ++i) {
        EXPECT_NE(rgbAt(*dc, 8, 20 * static_cast<int>(i) + 8), kUntouched) << "picture " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, CallBudget,
    ::testing::Values(
        BudgetCase{"FiveDistinct24MegapixelPngs",
                   [] {
                       std::vector<std::vector<uint8_t>> pictures;
                       for (int i = 0; i < 5; ++i) pictures.push_back(blankPng(6000 + i, 4000, true));
                       return pictures;
                   },
                   false},
        BudgetCase{"FourDistinct100MegapixelBitmapsFillTheBudget", [] { return distinctBitmaps(4, 10000, 10000); },
                   false},
        BudgetCase{"FiveDistinct100MegapixelBitmapsFail", [] { return distinctBitmaps(5, 10000, 10000); }, true},
        BudgetCase{"One100MegapixelBitmapEightTimesIsDecodedOnce",
                   [] { return std::vector(8, sparseRunLengthBitmap(10000, 10000, 0x123456, 16)); }, false}),
    [](const auto& info) { return info.param.name; });

// A drawn picture beyond what a call keeps goes with its object: the next
// object drawing it the same way decodes it again, within the budget.
TEST(ImageObject, LargeDrawnPictureIsDrawnForEveryObject) {
    const int width = 4200, height = 4100;  // 69 MB drawn, more than a call keeps
    static_assert(size_t{width} * height * 4 > kKeptDrawnPictureBytes);
    const std::vector<LabelObject> objects(2, imageObject(blankPng(width, height, true)));
    CallPictures call(objects);
    for (const LabelObject& object : objects) {
        auto dc = untouchedSurface(width, height);
        drawImageObject(*dc, object, kDpi, call);
        EXPECT_EQ(rgbAt(*dc, width - 1, height - 1), 0x000000u);
    }
    EXPECT_FALSE(call.failed());
}

// Only the rows and columns drawn are decoded, and they come out as the
// blit makes them of the whole picture: enlarged, reduced, mirrored or
// partly off the surface, in every format.
TEST(ImageObject, DrawnSizeDecodingMatchesTheWholePictureStretched) {
    // Every pixel its own colour, so that a row or column off by one shows.
    TestImage picture{16, 13, {}};
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) picture.argb.push_back(kOpaque | uint32_t(x * 16) << 16 | uint32_t(y * 19) << 8);
    }
    const std::vector<uint8_t> png = encodePng(picture);
    const std::vector<std::vector<uint8_t>> files = {encodeBmp(picture), png,
                                                     encodePng(picture, {PngKind::Rgba, true}), encodeGif(picture),
                                                     encodeJpeg(picture)};
    struct Drawing {
        float x, y, width, height;  // mm, fixed size
    };
    const Drawing drawings[] = {{1, 1, 7.5f, 1.2f}, {1, 1, 1.1f, 6.3f}, {6, 5, -3.0f, -2.0f}, {-1, -0.5f, 4.4f, 4.6f}};
    for (size_t f = 0; f < files.size(); ++f) {
        // The bitmap file takes its own road; its pixels are the PNG's.
        const auto whole = platform::loadPicture(f == 0 ? png : files[f]);
        ASSERT_TRUE(whole);
        const platform::PixelBlock block{whole->pixels.data(), whole->width, whole->height, whole->width * 4, true};
        for (const Drawing& d : drawings) {
            LabelObject object = imageObject(files[f]);
            object.Xposition = d.x, object.Yposition = d.y;
            object.imagefixedsize = true, object.imagefixedwidth = d.width, object.imagefixedheight = d.height;
            auto drawn = untouchedSurface(60, 50);
            mk::CallPictures pictures;
            drawImageObject(*drawn, object, kDpi, pictures);
            auto expected = untouchedSurface(60, 50);
            expected->stretchPixels(mmToDots(d.x, kDpi), mmToDots(d.y, kDpi), mmToDots(d.width, kDpi),
                                    mmToDots(d.height, kDpi), 0, 0, whole->width, whole->height, block);
            EXPECT_EQ(surfaceImage(*drawn).argb, surfaceImage(*expected).argb) << "file " << f << ", " << d.width;
        }
    }
}

}  // namespace
}  // namespace mk::test
