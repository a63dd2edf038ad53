// The system's picture loader decodes a picture whole before its size can be
// asked. A picture beyond 100 megapixels must be refused from its header,
// without ever taking the memory of its pixels: the process's peak working
// set shows what it took. Runs in a program of its own, so that the peak is
// this test's.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include "platform/device_context.h"
#include "platform/picture_loader.h"
#include "render/image_object.h"
#include "support/hostile_objects.h"

namespace {

size_t peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

TEST(PictureLimit, PictureBeyondOneHundredMegapixelsIsRefusedBeforeDecoding) {
    // 100 010 000 pixels: 400 MB once decoded. A few kilobytes as a file.
    const std::vector<uint8_t> png = mk::test::blankPng(10001, 10000, true);
    const size_t before = peakWorkingSet();
    ASSERT_GT(before, 0u);
    EXPECT_FALSE(mk::platform::loadPicture(png));

    LabelObject object;
    object.ObjectName = "image1";
    object.imagedata = png;
    auto dc = mk::platform::DeviceContext::create(16, 16);
    ASSERT_NE(dc, nullptr);
    mk::drawImageObject(*dc, object, 203);
    for (int y = 0; y < dc->height(); ++y) {
        for (int x = 0; x < dc->width(); ++x) ASSERT_EQ(dc->pixels()[y * dc->stride() + 4 * x], 255) << x << "," << y;
    }
    EXPECT_LT(peakWorkingSet() - before, size_t{32} << 20);
}

}  // namespace
