// A render at a size the process has not drawn yet, in a fresh process and in
// one that has drawn a 60-glyph text at 1 000 other sizes before, on 1 and 8
// threads: each thread draws the text 1 000 times at a size of its own, in five rounds,
// of which the fastest counts. Each
// case runs in a process of its own (this program started again), so that
// nothing an earlier benchmark remembered counts. primed_over_fresh is the
// ratio of the two times per render; it stays near 1 when the font layer's
// memories forget what was drawn long ago.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_context.h"
#include "platform/font.h"

namespace {

constexpr char kChildVariable[] = "MKLABEL_NEW_SIZE_CHILD";
constexpr char16_t kText[] = u"The quick brown fox jumps over the lazy dog 0123456789 ABCDEF";
constexpr int kRenders = 1000;
constexpr int kFirstPrimedEm = 20;  // the timed sizes lie below

mk::platform::FontHandle arial(int em) {
    mk::platform::LogFont request;
    request.height = -em;
    request.faceName = u"Arial";
    return mk::platform::createFont(request);
}

// Microseconds per render, averaged over the threads.
double renderAtNewSizes(int primedSizes, int threads) {
    {
        auto dc = mk::platform::DeviceContext::create(1200, 100);
        for (int em = kFirstPrimedEm; em < kFirstPrimedEm + primedSizes; ++em) {
            dc->selectFont(arial(em));
            dc->textOut(0, 0, kText);
        }
    }
    std::vector<double> micros(static_cast<size_t>(threads));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            auto dc = mk::platform::DeviceContext::create(1200, 100);
            dc->selectFont(arial(12 + t));
            // The best of five rounds: other work on the machine only ever adds.
            double best = 1e300;
            for (int round = 0; round < 5; ++round) {
                const auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < kRenders; ++i) dc->textOut(0, 0, kText);
                best = std::min(best, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / kRenders);
            }
            micros[static_cast<size_t>(t)] = best;
        });
    }
    for (auto& worker : workers) worker.join();
    double sum = 0;
    for (const double m : micros) sum += m;
    return sum / threads;
}

// Started again with the variable set, the program measures one case and ends.
const bool kChildRun = [] {
    const char* spec = std::getenv(kChildVariable);
    if (spec == nullptr) return false;
    int primed = 0;
    int threads = 1;
    if (std::sscanf(spec, "%d %d", &primed, &threads) != 2) std::_Exit(2);
    std::printf("%f\n", renderAtNewSizes(primed, threads));
    std::fflush(stdout);
    std::_Exit(0);
}();

double inFreshProcess(int primedSizes, int threads) {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return -1;
    const std::string command = std::string(kChildVariable) + "='" + std::to_string(primedSizes) + " " +
                                std::to_string(threads) + "' '" + std::string(self, static_cast<size_t>(length)) + "'";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return -1;
    double micros = -1;
    if (std::fscanf(child, "%lf", &micros) != 1) micros = -1;
    pclose(child);
    return micros;
}

void BM_RenderAtNewSizeAfterThousandSizes(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    double fresh = 0;
    double primed = 0;
    for (auto _ : state) {
        fresh = inFreshProcess(0, threads);
        primed = inFreshProcess(1000, threads);
    }
    if (fresh <= 0 || primed <= 0) {
        state.SkipWithError("a measuring process failed");
        return;
    }
    state.counters["fresh_us"] = fresh;
    state.counters["primed_us"] = primed;
    state.counters["primed_over_fresh"] = primed / fresh;
}
BENCHMARK(BM_RenderAtNewSizeAfterThousandSizes)->ArgName("threads")->Arg(1)->Arg(8)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
