// Loading label images from memory: a typical label of 20 objects, labels
// carrying one embedded image of growing size, and hostile objects blocks of
// growing size (load time should grow linearly in each).
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <cmath>
#include <string>

#include "mklabel.h"
#include "support/hostile_objects.h"
#include "support/lsf_writer.h"

namespace {

// A refused load counts as done when the file is meant to be refused.
void loadOnce(benchmark::State& state, const std::string& image, bool mayBeRefused = false) {
    for (auto _ : state) {
        LabelDoc* doc = MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size()));
        if (doc == nullptr && mayBeRefused) {
            state.counters["refused"] = 1;
            continue;
        }
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
        if (object.ObjectName == "image1") object.imagedata = mk::test::objectBytes(mk::test::bmpImage(side, side));
    }
    loadOnce(state, mk::test::lsfOf(doc));
}
BENCHMARK(BM_LoadLabelWithImage)->Arg(256)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);

// The argument multiplies a unit of 3.5 MiB of objects text: at 16 the block
// nears the 64 MiB a block may inflate to, from a file of well under 1 MB.
void BM_LoadHostileFile(benchmark::State& state, mk::test::HostileShape shape) {
    constexpr std::size_t kUnit = std::size_t{3584} << 10;
    const std::size_t size = kUnit * static_cast<std::size_t>(state.range(0));
    const std::string xml = mk::test::hostileObjectsXml(shape, size);
    const std::string params = mk::test::hostileParamsXml(shape, size) + mk::test::element("printerDPI", 203);
    loadOnce(state, mk::test::buildLsf(params, xml), true);
    state.counters["xml_bytes"] = static_cast<double>(xml.size());
}
// One benchmark per shape, named after it.
const bool kHostileFilesRegistered = [] {
    for (const auto& [shape, name] : mk::test::kHostileShapes) {
        benchmark::RegisterBenchmark((std::string("BM_LoadHostileFile/") + name).c_str(), BM_LoadHostileFile, shape)
            ->Arg(1)
            ->Arg(4)
            ->Arg(16)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

#endif
