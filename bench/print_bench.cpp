// The main road: a loaded label (mainRoadLabel: text, three barcodes, a line,
// a frame and a picture) printed again and again with new variable data,
// through the exported calls to a network printer on a loopback address.
// One iteration is one label: variable set, job built, job sent.
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "mklabel.h"
#include "render/units.h"
#include "support/fake_net_printer.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/reference_labels.h"

namespace {

// A printer that keeps no job, so that a long run holds no memory for them.
mk::test::FakeNetPrinter::Options discardingPrinter() {
    mk::test::FakeNetPrinter::Options options;
    options.keptJobs = 0;
    return options;
}

mk::test::LabelPtr loadMainRoadLabel(float widthMm, float heightMm) {
    LabelDoc design = mk::test::mainRoadLabel();
    design.labelwidth = widthMm;
    design.labelheight = heightMm;
    const std::string file = mk::test::lsfOf(design);
    return mk::test::LabelPtr(MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size())));
}

mk::test::PrinterPtr networkPrinter(const std::string& address, int dpi) {
    mk::test::PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), 2);
    MkPrinter_SetNetAddress(printer.get(), address.c_str());
    MkPrinter_SetDpi(printer.get(), dpi);
    return printer;
}

// Each label carries other variable data, as a batch of labels does.
int printNext(LabelDoc* doc, Printer* printer, int serial) {
    char lot[32];
    std::snprintf(lot, sizeof lot, "Lot %04d", serial % 10000);
    MkObject_SetVariableAll(doc, "lot", lot);
    return MkLabelDoc_Print(doc, printer);
}

// Arguments: dpi, label width and height in millimetres.
void BM_MainRoad(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    const float width = static_cast<float>(state.range(1));
    const float height = static_cast<float>(state.range(2));
    mk::test::FakeNetPrinter sink(discardingPrinter());
    mk::test::LabelPtr doc = loadMainRoadLabel(width, height);
    mk::test::PrinterPtr printer = networkPrinter(sink.address(), dpi);
    if (doc == nullptr) {
        state.SkipWithError(MkGetLastErrorMessage());
        return;
    }
    int serial = 0;
    for (auto _ : state) {
        if (printNext(doc.get(), printer.get(), ++serial) != MK_OK) {
            state.SkipWithError(MkGetLastErrorMessage());
            return;
        }
    }
    // The cost per label against its size: time per million dots is flat
    // when the cost grows linearly with the area.
    const double dots = static_cast<double>(mk::mmToDots(width, dpi)) * static_cast<double>(mk::mmToDots(height, dpi));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["Mdots"] = dots / 1e6;
    state.counters["per_Mdot"] = benchmark::Counter(dots / 1e6 * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MainRoad)
    ->ArgNames({"dpi", "mm_w", "mm_h"})
    ->Args({203, 104, 75})
    ->Args({300, 104, 75})
    ->Args({203, 200, 150})
    ->Args({300, 200, 150})
    ->Args({600, 200, 150})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

long residentKilobytes() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// 10 000 labels in a row at 203 dpi: the resident memory after the first
// hundred and the highest seen after that (sampled every hundred labels).
// Memory that a print keeps or leaks shows as growth.
void BM_MainRoadMemory(benchmark::State& state) {
    constexpr int kLabels = 10000;
    constexpr int kSampleEvery = 100;
    mk::test::FakeNetPrinter sink(discardingPrinter());
    mk::test::LabelPtr doc = loadMainRoadLabel(104, 75);
    mk::test::PrinterPtr printer = networkPrinter(sink.address(), 203);
    long afterFirst = 0;
    long highest = 0;
    for (auto _ : state) {
        for (int label = 1; label <= kLabels; ++label) {
            if (printNext(doc.get(), printer.get(), label) != MK_OK) {
                state.SkipWithError(MkGetLastErrorMessage());
                return;
            }
            if (label % kSampleEvery != 0) continue;
            const long now = residentKilobytes();
            if (label == kSampleEvery) afterFirst = now;
            highest = std::max(highest, now);
        }
    }
    state.counters["rss_after_100_kB"] = static_cast<double>(afterFirst);
    state.counters["rss_peak_kB"] = static_cast<double>(highest);
    state.counters["growth_kB"] = static_cast<double>(highest - afterFirst);
}
BENCHMARK(BM_MainRoadMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#endif
