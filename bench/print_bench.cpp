// The main road for one label (mainRoadLabel: 104 × 75 mm with text, three
// barcodes, shapes and a picture), everything but the transport: load the label
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
#include "support/reference_labels.h"

namespace {

void BM_MainRoadPerLabel(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    const std::string file = mk::test::lsfOf(mk::test::mainRoadLabel());
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
