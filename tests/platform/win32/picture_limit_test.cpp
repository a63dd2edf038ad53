// The system's picture loader decodes a picture whole before its size can be
// asked: every frame of a GIF, every bitmap a metafile carries. A picture
// beyond 100 megapixels must be refused from its file's structure, without
// ever taking the memory of its pixels: the process's peak working set shows
// what it took. Runs in a program of its own, so that the peak is this
// program's, and the case that decodes 100 megapixels in a run of its own.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_context.h"
#include "platform/picture_loader.h"
#include "render/image_object.h"
#include "platform/win32/gdi_object.h"
#include "support/hostile_objects.h"
#include "support/lsf_writer.h"
#include "support/picture_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using mk::test::emfWithBitmap;
using mk::test::gif;
using mk::test::wmfWithBitmap;

size_t peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

struct LimitCase {
    const char* name;
    Bytes (*bytes)();
    bool drawn;
};

const LimitCase kLimitCases[] = {
    // 100 010 000 pixels: 400 MB once decoded. A few kilobytes as a file.
    {"PngBeyond100Mp", [] { return mk::test::blankPng(10001, 10000, true); }, false},
    {"GifWhoseSecondFrameIsBeyond100Mp", [] { return gif({{0, 0, 8, 8}, {0, 0, 10001, 10000}}); }, false},
    {"GifWhoseFramesHold128MpTogether",
     [] { return gif({{0, 0, 8, 8}, {0, 0, 8000, 8000}, {0, 0, 8000, 8000}}); }, false},
    {"GifWhoseLaterFrameLiesBeyond100MpByItsOffset", [] { return gif({{0, 0, 8, 8}, {9999, 9999, 8, 8}}); }, false},
    {"WmfOfOneInchHoldingA20000By20000Bitmap", [] { return wmfWithBitmap(20000, 20000); }, false},
    {"EmfOfOneInchHoldingA20000By20000Bitmap", [] { return emfWithBitmap(20000, 20000); }, false},
    {"GifOfThreeSmallFrames", [] { return gif({{0, 0, 8, 8}, {2, 2, 6, 6}, {0, 0, 8, 8}}); }, true},
    {"WmfHoldingASmallBitmap", [] { return wmfWithBitmap(64, 64); }, true},
    {"EmfHoldingASmallBitmap", [] { return emfWithBitmap(64, 64); }, true},
};

class PictureLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(PictureLimit, WhatTheSystemDecodesBeyondTheHeaderCountsAgainstTheLimit) {
    const Bytes bytes = GetParam().bytes();
    const size_t before = peakWorkingSet();
    ASSERT_GT(before, 0u);
    const auto picture = mk::platform::loadPicture(bytes);
    EXPECT_EQ(picture.has_value(), GetParam().drawn);
    const size_t rise = peakWorkingSet() - before;
    std::printf("peak rise: %zu MiB\n", rise >> 20);
    EXPECT_LT(rise, size_t{32} << 20);
}

INSTANTIATE_TEST_SUITE_P(Files, PictureLimit, ::testing::ValuesIn(kLimitCases),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

TEST(PictureDrawing, PictureBeyondTheLimitDrawsNothing) {
    LabelObject object;
    object.ObjectName = "image1";
    object.imagedata = mk::test::objectBytes(mk::test::blankPng(10001, 10000, true));
    auto dc = mk::platform::DeviceContext::create(16, 16);
    ASSERT_NE(dc, nullptr);
    const size_t before = peakWorkingSet();
    mk::CallPictures pictures;
    mk::drawImageObject(*dc, object, 203, pictures);
    for (int y = 0; y < dc->height(); ++y) {
        for (int x = 0; x < dc->width(); ++x) ASSERT_EQ(dc->pixels()[y * dc->stride() + 4 * x], 255) << x << "," << y;
    }
    EXPECT_LT(peakWorkingSet() - before, size_t{32} << 20);
}

// The largest picture drawn costs its pixels once beside the system's own
// decoding of it (400 MB each), not a further surface of its size.
TEST(PictureDrawing, PictureOfOneHundredMegapixelsHoldsTwoCopiesAtMost) {
    const Bytes png = mk::test::blankPng(10000, 10000, true);
    const size_t before = peakWorkingSet();
    const auto picture = mk::platform::loadPicture(png);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 10000);
    EXPECT_EQ(picture->pixel(9999, 9999)[3], 255);
    EXPECT_EQ(picture->pixel(0, 0)[0], 0);
    const size_t rise = peakWorkingSet() - before;
    std::printf("peak rise: %zu MiB\n", rise >> 20);
    EXPECT_LT(rise, size_t{900} << 20);
}

// A picture too tall for one band is rendered band by band: it must come
// out as one rendering of it whole does, seams and last band included.
TEST(PictureDrawing, MetafileRenderedInBandsIsTheMetafileRenderedWhole) {
    // 3000 x 3001 pixels at 96 dpi: two bands of 1398 rows and a shorter one.
    const RECT frame{0, 0, MulDiv(3000, 2540, 96), MulDiv(3001, 2540, 96)};
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    ASSERT_NE(recorder, nullptr);
    SetMapMode(recorder, MM_TEXT);
    Ellipse(recorder, 100, 50, 2900, 2950);
    MoveToEx(recorder, 0, 1397, nullptr);
    LineTo(recorder, 2999, 1399);
    TextOutW(recorder, 1000, 1390, L"seam", 4);
    HENHMETAFILE metafile = CloseEnhMetaFile(recorder);
    ASSERT_NE(metafile, nullptr);
    Bytes bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    DeleteEnhMetaFile(metafile);

    const auto picture = mk::platform::loadPicture(bytes);
    ASSERT_TRUE(picture);
    ASSERT_GT(picture->height, 2 * 1398);

    // The same bytes rendered whole on black, as the system draws them.
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    ASSERT_TRUE(SUCCEEDED(CreateStreamOnHGlobal(block, TRUE, &stream)));
    IPicture* whole = nullptr;
    ASSERT_TRUE(SUCCEEDED(OleLoadPicture(stream, 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&whole))));
    stream->Release();
    mk::platform::UniqueDc dc(CreateCompatibleDC(nullptr));
    void* bits = nullptr;
    mk::platform::GdiObject surface = mk::platform::createTopDownDib(dc.get(), picture->width, picture->height, &bits);
    ASSERT_NE(bits, nullptr);
    std::memset(bits, 0, static_cast<size_t>(picture->width) * picture->height * 4);
    {
        mk::platform::SelectedObject selected(dc.get(), surface.get());
        OLE_XSIZE_HIMETRIC w = 0;
        OLE_YSIZE_HIMETRIC h = 0;
        whole->get_Width(&w);
        whole->get_Height(&h);
        RECT bounds{0, 0, picture->width, picture->height};
        ASSERT_TRUE(SUCCEEDED(whole->Render(dc.get(), 0, 0, picture->width, picture->height, 0, h, w, -h, &bounds)));
        GdiFlush();
    }
    whole->Release();
    CoUninitialize();

    const auto* expected = static_cast<const uint8_t*>(bits);
    size_t differing = 0;
    size_t inked = 0;
    for (size_t i = 0; i < static_cast<size_t>(picture->width) * picture->height; ++i) {
        const uint8_t* pixel = picture->pixels.data() + i * 4;
        differing += std::memcmp(pixel, expected + i * 4, 3) != 0;
        inked += pixel[3] == 255;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(inked, 1000u) << "the metafile drew nothing to compare";
}

}  // namespace
