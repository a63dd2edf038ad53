// The main road for one label, everything but the transport: load the label
// file from memory, fill a variable, rescale and compose, render, reduce to
// one bit per pixel, encode the PCX graphic and write the job. Items per
// second are labels per second.
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <string>

#include "mklabel.h"
#include "model/rescale.h"
#include "model/variables.h"
#include "print/print_job.h"
#include "support/lsf_writer.h"

namespace {

// 104 × 75 mm, designed at 203 dpi: a text box, free text, Code 128, QR Code,
// EAN-13, a line, a rectangle and a 200 × 200 picture.
LabelDoc referenceLabel() {
    LabelDoc doc;
    doc.labelwidth = 104.0f;
    doc.labelheight = 75.0f;
    auto add = [&](const char* name, ObjectType type, float x, float y) -> LabelObject& {
        LabelObject& object = doc.objects.emplace_back();
        object.ObjectName = name;
        object.objectclass = static_cast<int>(type);
        object.Xposition = x;
        object.Yposition = y;
        return object;
    };
    LabelObject& box = add("text_box", ObjectType::Text, 4.0f, 4.0f);
    box.objectdata = "Thermal transfer label, 104 x 75 mm, with a wrapped description in a box";
    box.textfont = "Liberation Sans";
    box.fontsize = 9.0f;
    box.texttype = 1;
    box.textwidth = 50.0f;

    LabelObject& lot = add("text_lot", ObjectType::Text, 4.0f, 20.0f);
    lot.objectdata = "Lot 0001";
    lot.textfont = "Liberation Sans";
    lot.fontsize = 14.0f;
    lot.datachild_IDs = "1";
    LabelVariable variable;
    variable.id = 1;
    variable.sharename = "lot";
    variable.data = "Lot 0001";
    lot.Variables.push_back(variable);

    auto barcode = [&](const char* name, const char* kind, const char* data, float x, float y) {
        LabelObject& object = add(name, ObjectType::Barcode, x, y);
        object.barcodekind = kind;
        object.objectdata = data;
        object.barcodescale = 2.0f;
        object.barcodeheight = 12.0f;
    };
    barcode("barcode_code128", "Code 128 Auto", "MK-2024-000123", 4.0f, 30.0f);
    barcode("barcode_qr", "QR Code(2D)", "https://example.com/labels/000123", 76.0f, 4.0f);
    barcode("barcode_ean13", "EAN-13", "590123412345", 4.0f, 52.0f);

    LabelObject& rule = add("line_rule", ObjectType::Line, 0.0f, 0.0f);
    rule.startXposition = 2.0f;
    rule.startYposition = 48.0f;
    rule.endXposition = 102.0f;
    rule.endYposition = 48.0f;
    rule.lineWidth = 0.5f;

    LabelObject& frame = add("rectangle_frame", ObjectType::Rectangle, 0.0f, 0.0f);
    frame.startXposition = 1.0f;
    frame.startYposition = 1.0f;
    frame.endXposition = 103.0f;
    frame.endYposition = 74.0f;
    frame.lineWidth = 0.3f;

    LabelObject& picture = add("image_picture", ObjectType::Image, 70.0f, 46.0f);
    picture.imagedata = mk::test::bmpImage(200, 200);
    return doc;
}

void BM_MainRoadPerLabel(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    const std::string file = mk::test::lsfOf(referenceLabel());
    std::size_t jobBytes = 0;
    for (auto _ : state) {
        LabelDoc* doc = MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size()));
        if (doc == nullptr) {
            state.SkipWithError(MkGetLastErrorMessage());
            return;
        }
        MkObject_SetVariableAll(doc, "lot", "Lot 4711");
        mk::rescaleForPrinter(*doc, dpi);
        mk::composeDocumentVariableTexts(*doc);
        const mk::PrintJob job = mk::buildLabelCommands(*doc, dpi, 2, "");
        MkLabelDoc_Destroy(doc);
        if (job.empty()) {
            state.SkipWithError("the job was not built");
            return;
        }
        jobBytes = job.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["job_bytes"] = static_cast<double>(jobBytes);
}
BENCHMARK(BM_MainRoadPerLabel)->Arg(203)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
