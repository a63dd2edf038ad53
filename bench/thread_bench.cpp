// The reference label rendered and printed on 1, 2, 4 and 8 threads at once,
// each thread with its own document and printer (for printing, a network
// printer of its own on a loopback address). labels/s is the whole process's
// rate; the ratio to one thread is the rate over the 1-thread row's.
// faults_per_label counts the pages faulted in per label: memory the
// library maps afresh instead of reusing.
#include <benchmark/benchmark.h>

#if __has_include("support/lsf_writer.h")

#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "mklabel.h"
#include "render/units.h"
#include "support/fake_net_printer.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/reference_labels.h"

namespace {

mk::test::LabelPtr loadReferenceLabel() {
    const std::string file = mk::test::lsfOf(mk::test::mainRoadLabel());
    return mk::test::LabelPtr(MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size())));
}

long threadMinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

void setLot(LabelDoc* doc, int serial) {
    char lot[32];
    std::snprintf(lot, sizeof lot, "Lot %04d", serial % 10000);
    MkObject_SetVariableAll(doc, "lot", lot);
}

void report(benchmark::State& state, long faults, int dpi) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["faults_per_label"] = benchmark::Counter(static_cast<double>(faults),
                                                            benchmark::Counter::kAvgIterations);
    // The result's own size: what a render must write at the least.
    const double bytes = 4.0 * mk::mmToDots(104, dpi) * mk::mmToDots(75, dpi);
    state.counters["result_MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kAvgThreads);
}

void atEachResolutionAndThreadCount(benchmark::internal::Benchmark* b) {
    b->ArgName("dpi")->Arg(203)->Arg(600);
    for (int threads : {1, 2, 4, 8}) b->Threads(threads);
    b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

// Argument: dpi.
void BM_RenderThreads(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    mk::test::LabelPtr doc = loadReferenceLabel();
    mk::test::PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetDpi(printer.get(), dpi);
    int serial = 0;
    const long faultsBefore = threadMinorFaults();
    for (auto _ : state) {
        setLot(doc.get(), ++serial);
        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        if (MkLabelDoc_Render(doc.get(), printer.get(), 0, &pixels, &width, &height, &stride) != MK_OK) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(pixels);
        MkFree(pixels);
    }
    report(state, threadMinorFaults() - faultsBefore, dpi);
}
BENCHMARK(BM_RenderThreads)->Apply(atEachResolutionAndThreadCount);

mk::test::FakeNetPrinter::Options discardingPrinter() {
    mk::test::FakeNetPrinter::Options options;
    options.keptJobs = 0;
    return options;
}

// Argument: dpi.
void BM_PrintThreads(benchmark::State& state) {
    const int dpi = static_cast<int>(state.range(0));
    mk::test::FakeNetPrinter sink(discardingPrinter());
    mk::test::LabelPtr doc = loadReferenceLabel();
    mk::test::PrinterPtr printer(MkPrinter_Create());
    MkPrinter_SetInterface(printer.get(), 2);
    MkPrinter_SetNetAddress(printer.get(), sink.address().c_str());
    MkPrinter_SetDpi(printer.get(), dpi);
    int serial = 0;
    const long faultsBefore = threadMinorFaults();
    for (auto _ : state) {
        setLot(doc.get(), ++serial);
        if (MkLabelDoc_Print(doc.get(), printer.get()) != MK_OK) {
            state.SkipWithError(MkGetLastErrorMessage());
            break;
        }
    }
    report(state, threadMinorFaults() - faultsBefore, dpi);
}
BENCHMARK(BM_PrintThreads)->Apply(atEachResolutionAndThreadCount);

}  // namespace

#endif
