// One Code 128 and one QR Code at 203 dpi: the symbol alone (zint plus the
// scaling) and the whole object drawn on a label surface with its text.
#include <benchmark/benchmark.h>

#include "platform/device_context.h"
#include "render/barcode_adapter.h"
#include "render/barcode_object.h"

namespace {

constexpr int kDpi = 203;

struct Sample {
    const char* kind;
    const char* data;
};

// Indexed by the benchmark argument.
constexpr Sample kSamples[] = {
    {"Code 128 Auto", "MK-2024-000123"},
    {"QR Code(2D)", "https://mklabel.test/item?id=000123&lot=42"},
};

void generateSymbol(benchmark::State& state) {
    const Sample& sample = kSamples[state.range(0)];
    mk::BarcodeRequest request;
    request.kind = sample.kind;
    request.data = sample.data;
    request.dpi = kDpi;
    request.moduleWidth = 2.0f;
    request.barHeightMm = 10.0f;
    for (auto _ : state) {
        mk::BarcodeBitmap bitmap;
        mk::generateBarcode(bitmap, request);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    state.SetLabel(sample.kind);
}

void drawObject(benchmark::State& state) {
    const Sample& sample = kSamples[state.range(0)];
    LabelObject object;
    object.ObjectName = "barcode";
    object.barcodekind = sample.kind;
    object.objectdata = sample.data;
    object.barcodescale = 2.0f;
    object.barcodeheight = 10.0f;
    object.textfont = "Arial";
    auto dc = mk::platform::DeviceContext::create(831, 599);  // 104 x 75 mm
    if (dc == nullptr) {
        state.SkipWithError("no surface");
        return;
    }
    for (auto _ : state) {
        mk::DrawBudget budget;
        mk::drawBarcodeObject(*dc, object, kDpi, budget);
        benchmark::DoNotOptimize(dc->pixels());
    }
    state.SetLabel(sample.kind);
}

BENCHMARK(generateSymbol)->ArgName("kind")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(drawObject)->ArgName("kind")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
