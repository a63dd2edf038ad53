#include <benchmark/benchmark.h>

#include <cstdlib>

#include "model/label_doc.h"
#include "print/pcx_image.h"
#include "print/print_job.h"
#include "render/label_surface.h"

namespace {

// A 104 × 75 mm label with a few dark boxes, so the graphic has runs of both kinds.
LabelDoc referenceLabel() {
    LabelDoc doc;
    for (int i = 0; i < 8; ++i) {
        LabelObject box;
        box.ObjectName = "rectangle" + std::to_string(i);
        box.startXposition = 5.0f + 12.0f * static_cast<float>(i);
        box.startYposition = 5.0f + 7.0f * static_cast<float>(i);
        box.endXposition = box.startXposition + 9.0f;
        box.endYposition = box.startYposition + 5.0f;
        box.fillRectangle = i % 2 == 0;
        mk::appendObject(doc, box);
    }
    return doc;
}

// Monochrome conversion and run-length coding of an already rendered label.
void BM_PcxFromRenderedLabel(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    const LabelDoc doc = referenceLabel();
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    if (!mk::renderLabelForHost(doc, dpi, &pixels, &width, &height, &stride)) {
        state.SkipWithError("render failed");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(mk::buildPcxImage(static_cast<uint8_t*>(pixels), width, height, stride));
    }
    mk::platform::releaseHostPixels(pixels);
    state.SetItemsProcessed(state.iterations() * width * height);  // pixels
}
BENCHMARK(BM_PcxFromRenderedLabel)->Arg(203)->Arg(300);

// The whole job, render included.
void BM_BuildLabelCommands(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    const LabelDoc doc = referenceLabel();
    for (auto _ : state) benchmark::DoNotOptimize(mk::buildLabelCommands(doc, dpi, 1, ""));
}
BENCHMARK(BM_BuildLabelCommands)->Arg(203)->Arg(300);

}  // namespace
