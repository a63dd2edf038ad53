#include "portable/picture_contents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "support/picture_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using mk::test::emfWithBitmap;
using mk::test::gif;
using mk::test::wmfWithBitmap;

Bytes cutTo(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// The WMF's one bitmap record starts after the placeable header (22 bytes)
// and the metafile header (18); its bitmap 28 bytes into it.
constexpr size_t kWmfRecord = 22 + 18;
// The EMF's StretchDIBits record follows the 88-byte header; the offset of
// its bitmap description lies 48 bytes into it.
constexpr size_t kEmfRecord = 88;

Bytes withEmfBitmapOffset(Bytes bytes, uint32_t offset) {
    for (int i = 0; i < 4; ++i) bytes[kEmfRecord + 48 + i] = static_cast<uint8_t>(offset >> (8 * i));
    return bytes;
}

// A WMF whose bitmap record declares itself 12 words long: a DIBBitBlt of that
// size carries no bitmap, a StretchDIB always does.
Bytes wmfRecordAs(uint16_t function, uint32_t words) {
    Bytes bytes = wmfWithBitmap(100, 100);
    bytes[kWmfRecord] = static_cast<uint8_t>(words);
    bytes[kWmfRecord + 1] = bytes[kWmfRecord + 2] = bytes[kWmfRecord + 3] = 0;
    bytes[kWmfRecord + 4] = static_cast<uint8_t>(function);
    bytes[kWmfRecord + 5] = static_cast<uint8_t>(function >> 8);
    return bytes;
}

TEST(PictureContents, EveryGifFrameCountsWithItsOffset) {
    struct Case {
        const char* name;
        Bytes bytes;
        int64_t pixels;
    };
    const Bytes twoFrames = gif({{0, 0, 8, 8}, {100, 50, 10, 20}});
    const size_t secondFrame = gif({{0, 0, 8, 8}}).size() - 1;  // where the one-frame file has its trailer
    const Case cases[] = {
        {"one frame", gif({{0, 0, 8, 8}}), 64},
        {"a later frame beyond the screen", twoFrames, 64 + 110 * 70},
        {"cut inside the second frame's data", cutTo(twoFrames, twoFrames.size() - 4), 64 + 110 * 70},
        {"cut inside the second frame's descriptor", cutTo(twoFrames, secondFrame + 5), 64},
        {"not a GIF", wmfWithBitmap(10, 10), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mk::platform::gifFramePixels(c.bytes), c.pixels);
    }
}

TEST(PictureContents, EveryBitmapAMetafileCarriesCounts) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<int64_t> pixels;
    };
    const Bytes wmf = wmfWithBitmap(20000, 20000);
    const Bytes emf = emfWithBitmap(300, -200);
    const Case cases[] = {
        {"WMF StretchDIB", wmf, int64_t{400'000'000}},
        {"EMF StretchDIBits, rows top-down", emf, 60'000},
        {"WMF DIBBitBlt of the size without a bitmap", wmfRecordAs(0x0940, 12), 0},
        {"WMF StretchDIB of that size", wmfRecordAs(0x0F43, 12), std::nullopt},
        {"WMF cut inside the bitmap's header", cutTo(wmf, kWmfRecord + 28 + 10), std::nullopt},
        {"EMF without a bitmap", withEmfBitmapOffset(emf, 0), 0},
        {"EMF whose bitmap lies outside its record", withEmfBitmapOffset(emf, 4000), std::nullopt},
        {"not a metafile", gif({{0, 0, 8, 8}}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mk::platform::metafileBitmapPixels(c.bytes), c.pixels);
    }
}

}  // namespace
