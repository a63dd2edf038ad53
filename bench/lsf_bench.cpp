// Loading label images from memory: a typical label of 20 objects, and labels
// carrying one embedded image of growing size (load time should grow linearly).
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <cmath>
#include <string>

#include "mklabel.h"
#include "support/lsf_writer.h"

namespace {

void loadOnce(benchmark::State& state, const std::string& image) {
    for (auto _ : state) {
        LabelDoc* doc = MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size()));
        if (doc == nullptr) {
            state.SkipWithError(MkGetLastErrorMessage());
            return;
        }
        benchmark::DoNotOptimize(doc);
        MkLabelDoc_Destroy(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.size()));
    state.counters["file_bytes"] = static_cast<double>(image.size());
}

void BM_LoadLabelOf20Objects(benchmark::State& state) {
    const LabelDoc sample = mk::test::sampleLabel();
    LabelDoc doc = sample;
    doc.objects.clear();
    for (int i = 0; doc.objects.size() < 20; ++i) {
        LabelObject object = sample.objects[static_cast<std::size_t>(i) % sample.objects.size()];
        object.ObjectName += "_" + std::to_string(i);
        doc.objects.push_back(object);
    }
    loadOnce(state, mk::test::lsfOf(doc));
}
BENCHMARK(BM_LoadLabelOf20Objects)->Unit(benchmark::kMicrosecond);

// The argument is the image file's size in KiB (a square 24-bit BMP).
void BM_LoadLabelWithImage(benchmark::State& state) {
    const int side = static_cast<int>(std::sqrt(static_cast<double>(state.range(0)) * 1024.0 / 3.0));
    LabelDoc doc = mk::test::sampleLabel();
    for (LabelObject& object : doc.objects) {
        if (object.ObjectName == "image1") object.imagedata = mk::test::bmpImage(side, side);
    }
    loadOnce(state, mk::test::lsfOf(doc));
}
BENCHMARK(BM_LoadLabelWithImage)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
