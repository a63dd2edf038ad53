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
#include "support/varied_labels.h"

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

// A label file and the resolution it is rendered at.
struct Work {
    std::string file;
    int dpi;
};

Work referenceLabelAt(int dpi, float widthMm, float heightMm) {
    LabelDoc design = mk::test::mainRoadLabel();
    design.labelwidth = widthMm;
    design.labelheight = heightMm;
    return {mk::test::lsfOf(design), dpi};
}

// The reference label at 30 to 200 mm and 203, 300 and 600 dpi by turns.
Work variedLabel(int n) {
    struct Size {
        int dpi;
        float widthMm;
        float heightMm;
    };
    static constexpr Size kSizes[] = {{203, 30, 30},  {300, 50, 30},  {600, 30, 40},  {203, 200, 150},
                                      {300, 100, 80}, {600, 60, 50},  {203, 80, 120}, {300, 150, 200},
                                      {600, 100, 75}, {203, 120, 60}, {300, 40, 100}, {600, 150, 100}};
    const Size& size = kSizes[n % std::size(kSizes)];
    return referenceLabelAt(size.dpi, size.widthMm, size.heightMm);
}

// Labels as a service gets them: faces and sizes, barcodes, pictures.
Work variedDesign(int n) {
    constexpr int kDesigns = 240;
    static const std::vector<std::string> designs = [] {
        std::vector<std::string> files;
        for (int i = 0; i < kDesigns; ++i) files.push_back(mk::test::variedLabelFile(i));
        return files;
    }();
    return {designs[static_cast<std::size_t>(n % kDesigns)], mk::test::variedLabelDpi(n)};
}

// 4 MiB of box text at the text bound, wrapped and shrunk towards three lines.
Work longBoxText(int) { return {mk::test::hostileDrawLsf(mk::test::HostileDrawShape::LongBoxText, 16), 203}; }

// 4 MiB of line feeds as box text: a line per character.
Work lineFeedBoxText(int) {
    LabelDoc design;
    design.labelwidth = 104;
    design.labelheight = 75;
    LabelObject& text = design.objects.emplace_back();
    text.ObjectName = "text1";
    text.texttype = 1;
    text.textwidth = 50;
    text.textfont = "Liberation Sans";
    text.objectdata.assign(std::size_t{4} << 20, '\n');
    return {mk::test::lsfOf(design), 203};
}

// Threads render labels, then stay idle, then end: at each step the process
// holds at most the stated bound more than before. Memory a call frees must
// go back to the system, not stay in the threads' heaps.
TEST(KeptMemory, ThreadsKeepNoMoreThanTheStatedBoundWhileTheyLiveIdleAndAfterTheyEnd) {
    if (mk::test::sanitizedBuild())
        GTEST_SKIP() << "a sanitizer keeps freed memory and shadow pages: resident sizes mean nothing";
    struct Case {
        const char* name;
        int threads;
        int labelsEach;
        Work (*label)(int n);  // the n-th label of all
    };
    const Case cases[] = {
        {"2 000 varied labels", 8, 250, variedLabel},
        {"1 600 varied designs", 8, 200, variedDesign},
        {"the 4 MiB box text twice each", 8, 2, longBoxText},
        {"4 MiB of line feeds as box text", 8, 2, lineFeedBoxText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::printf("%s, %d threads:\n", c.name, c.threads);
        std::fflush(stdout);
        // The files are made before the measure starts: the host's own memory.
        std::vector<Work> work;
        for (int n = 0; n < c.threads * c.labelsEach; ++n) work.push_back(c.label(n));
        const auto run = mk::test::runInChildMeasuringPeak([&] {
            if (renderLargeLabel(203, 104, 75) != MK_OK) return -1;
            const std::size_t before = mk::test::residentBytes();
            std::size_t highest = 0;
            auto note = [&](const char* step) {
                const std::size_t now = mk::test::residentBytes();
                const std::size_t rise = now - std::min(before, now);
                std::printf("  %s: +%zu MiB\n", step, rise / kMiB);
                std::fflush(stdout);
                highest = std::max(highest, rise);
            };
            std::atomic<int> failed{0};
            std::latch rendered(c.threads);
            std::latch released(1);
            {
                std::vector<std::jthread> threads;
                for (int t = 0; t < c.threads; ++t) {
                    threads.emplace_back([&, t] {
                        mk::test::PrinterPtr printer(MkPrinter_Create());
                        for (int i = 0; i < c.labelsEach; ++i) {
                            const Work& label = work[static_cast<std::size_t>(t * c.labelsEach + i)];
                            mk::test::LabelPtr doc(
                                MkLabelDoc_LoadFromMemory(label.file.data(), static_cast<int>(label.file.size())));
                            MkPrinter_SetDpi(printer.get(), label.dpi);
                            void* pixels = nullptr;
                            int width = 0, height = 0, stride = 0;
                            failed += doc == nullptr || MkLabelDoc_Render(doc.get(), printer.get(), 0, &pixels,
                                                                          &width, &height, &stride) != MK_OK;
                            MkFree(pixels);
                        }
                        rendered.count_down();
                        released.wait();  // alive, as a pool's threads stay
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
}

// Symbols as large as labels have: each barcode kind's symbol, mostly of
// megabytes of pixels, at 600 dpi.
Work largeSymbols(int) {
    LabelDoc design;
    design.labelwidth = 200;
    design.labelheight = 150;
    const std::string longText(300, 'Q');
    const struct {
        const char* kind;
        std::string data;
        float scale;
    } symbols[] = {
        {"Code 128 Auto", "MK-2024-000123", 3}, {"EAN-13", "590123412345", 3},    {"Code 39", "LOT123456", 3},
        {"QR Code(2D)", longText, 3},           {"Data Matrix(2D)", longText, 3}, {"PDF 417(2D)", longText, 2}};
    float y = 0;
    for (const auto& symbol : symbols) {
        LabelObject& code = design.objects.emplace_back();
        code.ObjectName = std::string("barcode") + std::to_string(design.objects.size());
        code.objectclass = static_cast<int>(ObjectType::Barcode);
        code.Yposition = y;
        code.barcodekind = symbol.kind;
        code.objectdata = symbol.data;
        code.barcodescale = symbol.scale;
        code.barcodeheight = 19;
        y += 24;
    }
    return {mk::test::lsfOf(design), 600};
}

// What a call frees comes from mapped memory, not the C runtime's heap: once
// the runtime has mapped a large block and it is freed, the runtime maps no
// block below that size any more, the host's included, and they stay in the
// threads' heaps.
TEST(KeptMemory, CallsLeaveTheRuntimeMappingLargeBlocks) {
    constexpr std::size_t kKiB = 1024;
    const Work label = largeSymbols(0);
    const auto run = mk::test::runInChildMeasuringPeak([&] {
        // A process that has run other tests may have raised it already.
        const std::optional<bool> mapsAtFirst = mk::test::runtimeMapsBlocksOf(256 * kKiB);
        if (!mapsAtFirst.has_value() || !*mapsAtFirst) return 2;
        mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(label.file.data(), static_cast<int>(label.file.size())));
        mk::test::PrinterPtr printer(MkPrinter_Create());
        MkPrinter_SetDpi(printer.get(), label.dpi);
        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        const int result = MkLabelDoc_Render(doc.get(), printer.get(), 0, &pixels, &width, &height, &stride);
        MkFree(pixels);
        if (result != MK_OK) return -1;
        return *mk::test::runtimeMapsBlocksOf(512 * kKiB) ? 1 : 0;
    });
    if (!run.has_value() || run->result == 2) GTEST_SKIP() << "told only in a fresh glibc process, unsanitized";
    ASSERT_GE(run->result, 0) << "the render failed";
    EXPECT_EQ(run->result, 1) << "a block of 128 KiB or more came from the C runtime's heap and was freed";
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
