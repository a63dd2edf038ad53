// The look for other programs holding a printer's usblp node, which a USB
// call makes where usblp is bound: one stat of every descriptor of every
// process it may inspect. One iteration is one whole look that finds no
// holder, with the given number of extra descriptors open in this process.
#include <benchmark/benchmark.h>

#ifdef __linux__

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <vector>

#include "platform/linux/node_holders.h"

namespace {

void BM_UsbHolderLook(benchmark::State& state) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> open;
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (int64_t i = 0; i < state.range(0) && null >= 0; ++i) {
        const int fd = ::fcntl(null, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) break;
        open.push_back(fd);
    }
    const dev_t nobodysPrinter = ::makedev(180, 250);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mk::platform::deviceOpenInAnyProcess("/proc", nobodysPrinter));
    }
    state.counters["descriptors"] = static_cast<double>(open.size());
    for (int fd : open) ::close(fd);
    if (null >= 0) ::close(null);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}
BENCHMARK(BM_UsbHolderLook)->Arg(0)->Arg(1000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
