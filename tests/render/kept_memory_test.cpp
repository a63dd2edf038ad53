// What the library keeps between calls is bounded for the whole process, not
// per thread: the README states at most 120 MiB (glyphs 8, barcodes 16,
// pictures 32, surface memory 64) besides the font lookups. And a label
// beyond the largest surface fails before its memory is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "support/hostile_objects.h"
#include "support/lsf_writer.h"
#include "support/peak_memory.h"
#include "support/reference_labels.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kStatedKeptBytes = 120 * kMiB;

// The reference label on 200 x 150 mm at 600 dpi: 4724 x 3543 dots, 64 MiB.
int renderLargeLabel(int dpi, float widthMm, float heightMm) {
    LabelDoc design = mk::test::mainRoadLabel();
    design.labelwidth = widthMm;
    design.labelheight = heightMm;
    const std::string file = mk::test::lsfOf(design);
    mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size())));
    mk::test::PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetDpi(printer.get(), dpi);
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    const int result = MkLabelDoc_Render(doc.get(), printer.get(), 0, &pixels, &width, &height, &stride);
    MkFree(pixels);
    return result;
}

TEST(KeptMemory, ThreadsThatRenderedLargeLabelsKeepNoMoreThanTheStatedBound) {
    if (mk::test::sanitizedBuild())
        GTEST_SKIP() << "a sanitizer keeps freed memory and shadow pages: resident sizes mean nothing";
    const auto run = mk::test::runInChildMeasuringPeak([] {
        // Libraries and fonts come in with the first label; no call keeps them.
        if (renderLargeLabel(203, 104, 75) != MK_OK) return -1;
        const std::size_t before = mk::test::residentBytes();
        std::atomic<int> failed{0};
        std::latch rendered(8);
        std::latch released(1);
        std::vector<std::jthread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&] {
                failed += renderLargeLabel(600, 200, 150) != MK_OK;
                rendered.count_down();
                released.wait();  // alive, as a pool's threads stay
            });
        }
        rendered.wait();
        const std::size_t after = mk::test::residentBytes();
        released.count_down();
        return failed > 0 ? -1 : static_cast<int>((after - std::min(before, after)) / kMiB);
    });
    ASSERT_TRUE(run.has_value()) << "memory not measured";
    ASSERT_GE(run->result, 0) << "a render failed";
    EXPECT_LE(static_cast<std::size_t>(run->result) * kMiB, kStatedKeptBytes);
    std::printf("8 threads kept %d MiB\n", run->result);
}

// Eight threads render 2 000 labels of 30 to 200 mm at 203, 300 and 600 dpi
// between them, then stay idle, then end: at each step the process holds at
// most the stated bound more than before. Memory the library frees must go
// back to the system, not stay in the threads' heaps.
TEST(KeptMemory, ManyLabelsOnManyThreadsKeepNoMoreThanTheStatedBoundWhileTheThreadsLiveAndAfter) {
    if (mk::test::sanitizedBuild())
        GTEST_SKIP() << "a sanitizer keeps freed memory and shadow pages: resident sizes mean nothing";
    constexpr int kThreads = 8;
    constexpr int kLabelsEach = 250;
    struct Size {
        int dpi;
        float widthMm;
        float heightMm;
    };
    static constexpr Size kSizes[] = {{203, 30, 30},  {300, 50, 30},  {600, 30, 40},  {203, 200, 150},
                                      {300, 100, 80}, {600, 60, 50},  {203, 80, 120}, {300, 150, 200},
                                      {600, 100, 75}, {203, 120, 60}, {300, 40, 100}, {600, 150, 100}};
    const auto run = mk::test::runInChildMeasuringPeak([] {
        if (renderLargeLabel(203, 104, 75) != MK_OK) return -1;
        const std::size_t before = mk::test::residentBytes();
        std::size_t highest = 0;
        auto note = [&](const char* step) {
            const std::size_t now = mk::test::residentBytes();
            const std::size_t rise = now - std::min(before, now);
            std::printf("%s: +%zu MiB\n", step, rise / kMiB);
            std::fflush(stdout);
            highest = std::max(highest, rise);
        };
        std::atomic<int> failed{0};
        std::latch rendered(kThreads);
        std::latch released(1);
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&, t] {
                    for (int i = 0; i < kLabelsEach; ++i) {
                        const Size& size = kSizes[(t * kLabelsEach + i) % std::size(kSizes)];
                        failed += renderLargeLabel(size.dpi, size.widthMm, size.heightMm) != MK_OK;
                    }
                    rendered.count_down();
                    released.wait();
                });
            }
            rendered.wait();
            note("threads alive");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            note("threads idle");
            released.count_down();
        }
        note("threads ended");
        return failed > 0 ? -1 : static_cast<int>(highest / kMiB);
    });
    ASSERT_TRUE(run.has_value()) << "memory not measured";
    ASSERT_GE(run->result, 0) << "a render failed";
    EXPECT_LE(static_cast<std::size_t>(run->result) * kMiB, kStatedKeptBytes);
}

TEST(KeptMemory, LabelBeyondTheLargestSurfaceFailsWithoutTouchingItsMemory) {
    if (mk::test::sanitizedBuild())
        GTEST_SKIP() << "a sanitizer keeps freed memory and shadow pages: peaks mean nothing";
    // 2000 x 2000 mm at 203 dpi: 15 984 x 15 984 dots, 975 MiB.
    const auto run = mk::test::runInChildMeasuringPeak([] { return renderLargeLabel(203, 2000, 2000); });
    ASSERT_TRUE(run.has_value()) << "peak not measured";
    EXPECT_EQ(run->result, MK_RENDER_FAILED);
    EXPECT_LT(run->peakRiseBytes, 64 * kMiB);
    std::printf("peak rise %zu MiB\n", run->peakRiseBytes / kMiB);
}

}  // namespace

// Eight threads lay out 4 MiB of text each (box text shrunk towards three
// lines, and box text of nothing but line feeds), twice, then stay idle, then
// end: the layout's lists go back to the system with each call, so the
// process keeps no more than the stated bound at any step.
TEST(KeptMemory, ThreadsThatLaidOutLongTextsKeepNoMoreThanTheStatedBound) {
    if (mk::test::sanitizedBuild())
        GTEST_SKIP() << "a sanitizer keeps freed memory and shadow pages: resident sizes mean nothing";
    for (const auto shape : {mk::test::HostileDrawShape::LongBoxText, mk::test::HostileDrawShape::LineFeeds}) {
        const std::string file = mk::test::hostileDrawLsf(shape, 16);
        const auto run = mk::test::runInChildMeasuringPeak([&] {
            if (renderLargeLabel(203, 104, 75) != MK_OK) return -1;
            const std::size_t before = mk::test::residentBytes();
            std::size_t highest = 0;
            auto note = [&] {
                const std::size_t now = mk::test::residentBytes();
                highest = std::max(highest, now - std::min(before, now));
            };
            std::atomic<int> failed{0};
            std::latch rendered(8);
            std::latch released(1);
            {
                std::vector<std::jthread> threads;
                for (int t = 0; t < 8; ++t) {
                    threads.emplace_back([&] {
                        for (int i = 0; i < 2; ++i) {
                            mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size())));
                            void* pixels = nullptr;
                            int width = 0, height = 0, stride = 0;
                            failed += MkLabelDoc_Render(doc.get(), nullptr, 0, &pixels, &width, &height, &stride) != MK_OK;
                            MkFree(pixels);
                        }
                        rendered.count_down();
                        released.wait();
                    });
                }
                rendered.wait();
                note();  // alive and idle
                released.count_down();
            }
            note();  // ended
            return failed > 0 ? -1 : static_cast<int>(highest / kMiB);
        });
        ASSERT_TRUE(run.has_value()) << "memory not measured";
        ASSERT_GE(run->result, 0) << "a render failed";
        EXPECT_LE(static_cast<std::size_t>(run->result) * kMiB, kStatedKeptBytes);
        std::printf("8 threads kept %d MiB\n", run->result);
    }
}
