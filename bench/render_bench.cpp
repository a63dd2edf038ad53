// Rendering one 104 x 75 mm label, empty and with 20 shapes.
#include <benchmark/benchmark.h>

#include "mklabel.h"

namespace {

LabelDoc* makeLabel(bool withShapes) {
    LabelDoc* doc = MkLabel_Create();  // 104 x 75 mm
    if (!withShapes) return doc;
    for (int i = 0; i < 20; ++i) {
        float x = 4.0f + static_cast<float>(i % 5) * 20.0f;
        float y = 4.0f + static_cast<float>(i / 5) * 17.0f;
        int index = 0;
        switch (i % 4) {
            case 0:
                index = MkLabel_AddLine(doc, "line", x, y, x + 16.0f, y + 12.0f, 0.4f);
                MkLabel_SetLineDash(doc, index, i % 5);
                break;
            case 1:
                index = MkLabel_AddRect(doc, "rectangle", x, y, x + 16.0f, y + 12.0f, 0.3f);
                MkLabel_SetRectFill(doc, index, 1);
                break;
            case 2:
                index = MkLabel_AddRect(doc, "rectangle", x, y, x + 16.0f, y + 12.0f, 0.5f);
                MkLabel_SetRectShape(doc, index, 1);
                break;
            default:
                index = MkLabel_AddRect(doc, "rectangle", x, y, x + 16.0f, y + 12.0f, 0.1f);
                MkLabel_SetRectShape(doc, index, 2);
                MkLabel_SetLineDash(doc, index, 1);
                break;
        }
    }
    return doc;
}

void renderLabel(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    LabelDoc* doc = makeLabel(state.range(1) != 0);
    Printer* printer = MkPrinter_Create();
    MkPrinter_SetDpi(printer, dpi);
    for (auto _ : state) {
        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        if (MkLabel_Render(doc, printer, 0, &pixels, &width, &height, &stride) != MK_OK) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(pixels);
        MkFree(pixels);
    }
    MkPrinter_Destroy(printer);
    MkLabel_Destroy(doc);
}

BENCHMARK(renderLabel)
    ->ArgNames({"dpi", "shapes"})
    ->Args({203, 0})
    ->Args({203, 1})
    ->Args({300, 0})
    ->Args({300, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
