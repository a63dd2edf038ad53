// Label files made to be costly to compose and draw (tests/support/
// hostile_objects.h), each at three scales: the document render call at
// 203 dpi, timed, and the most resident memory one render adds, measured
// in a child process. Pictures are drawn with the caches off: a label made
// to be costly varies its bytes, so no call finds its pictures cached.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "mklabel.h"
#include "portable/bounded_cache.h"
#include "support/hostile_objects.h"
#include "support/peak_memory.h"

namespace {

struct Loaded {
    LabelDoc* doc = nullptr;
    ~Loaded() { MkLabelDoc_Destroy(doc); }
};

int renderOnce(LabelDoc* doc) {
    void* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    const int result = MkLabelDoc_Render(doc, nullptr, 0, &pixels, &width, &height, &stride);
    MkFree(pixels);
    return result;
}

bool drawsPictures(mk::test::HostileDrawShape shape) {
    using enum mk::test::HostileDrawShape;
    return shape == OnePicture || shape == TextChunks || shape == JpegScans || shape == FivePictures ||
           shape == LargeDrawnSmall || shape == FullBudget;
}

// Caching off for the scope.
struct Uncached {
    explicit Uncached(bool off) : off_(off) {
        if (off_) mk::platform::setCachingEnabled(false);
    }
    ~Uncached() {
        if (off_) mk::platform::setCachingEnabled(true);
    }
    bool off_;
};

void BM_DrawHostileFile(benchmark::State& state, mk::test::HostileDrawShape shape) {
    const Uncached uncached(drawsPictures(shape));
    const std::string file = mk::test::hostileDrawLsf(shape, static_cast<int>(state.range(0)));
    Loaded loaded{MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size()))};
    if (loaded.doc == nullptr) {
        state.SkipWithError(MkGetLastErrorMessage());
        return;
    }
    // The first call finds the glyph memories without this file's glyphs
    // (run one shape alone to see it cold); the loop finds them kept.
    const auto start = std::chrono::steady_clock::now();
    int result = renderOnce(loaded.doc);
    state.counters["first_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    for (auto _ : state) result = renderOnce(loaded.doc);
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["refused"] = result != MK_OK ? 1 : 0;
    if (const auto child = mk::test::runInChildMeasuringPeak([&] { return renderOnce(loaded.doc); })) {
        state.counters["peak_MiB"] = static_cast<double>(child->peakRiseBytes) / (1 << 20);
    }
}

const bool kHostileDrawRegistered = [] {
    for (const auto& [shape, name] : mk::test::kHostileDrawShapes) {
        benchmark::RegisterBenchmark((std::string("BM_DrawHostileFile/") + name).c_str(), BM_DrawHostileFile, shape)
            ->ArgName("scale")
            ->Arg(1)
            ->Arg(4)
            ->Arg(16)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

}  // namespace
