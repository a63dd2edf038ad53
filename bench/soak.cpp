// A print service's months in minutes: threads render labels varied in size
// (30 to 200 mm), resolution (203, 300, 600 dpi), text faces and sizes,
// barcodes and pictures, for a set time. At the end of each interval the
// threads pause between two labels, so that what the process holds is what
// it keeps, not the surfaces being drawn; it prints the labels per second of
// that interval and the resident memory during the pause. At the end: the
// range of both after the first interval, which must stay flat, and the
// resident memory after the threads end.
//
// Usage: mklabel_soak [SECONDS [THREADS [INTERVAL_SECONDS]]]
// (defaults: 600 seconds, 8 threads, 60-second intervals)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "support/varied_labels.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDesigns = 240;

std::size_t residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int threadCount = argc > 2 ? std::atoi(argv[2]) : 8;
    const int interval = argc > 3 ? std::atoi(argv[3]) : 60;
    if (seconds <= 0 || threadCount <= 0 || interval <= 0) {
        std::fprintf(stderr, "usage: %s [SECONDS [THREADS [INTERVAL_SECONDS]]]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> designs;
    for (int i = 0; i < kDesigns; ++i) designs.push_back(mk::test::variedLabelFile(i));

    const std::size_t start = residentBytes();
    std::printf("%d threads, %d designs, %d s; resident at the start %.1f MiB\n", threadCount, kDesigns, seconds,
                static_cast<double>(start) / (1 << 20));
    std::printf("%8s %12s %14s\n", "seconds", "labels/s", "resident MiB");
    std::fflush(stdout);

    std::atomic<long> rendered{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stop{false};
    // The pause: the main thread raises it and waits until every thread waits.
    std::mutex pauseMutex;
    std::condition_variable pauseChanged;
    std::atomic<bool> pausing{false};
    int paused = 0;
    auto waitWhilePausing = [&] {
        std::unique_lock lock(pauseMutex);
        ++paused;
        pauseChanged.notify_all();
        pauseChanged.wait(lock, [&] { return !pausing.load(); });
        --paused;
    };
    std::vector<std::jthread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            mk::test::PrinterPtr printer(MkPrinter_Create());
            for (long i = t * 7919L; !stop.load(std::memory_order_relaxed); ++i) {
                if (pausing.load(std::memory_order_relaxed)) waitWhilePausing();
                const std::string& file = designs[static_cast<std::size_t>(i % kDesigns)];
                mk::test::LabelPtr doc(MkLabelDoc_LoadFromMemory(file.data(), static_cast<int>(file.size())));
                MkPrinter_SetDpi(printer.get(), mk::test::variedLabelDpi(i));
                char lot[32];
                std::snprintf(lot, sizeof lot, "Lot %06ld", i % 1000000);
                MkObject_SetVariableAll(doc.get(), "lot", lot);
                void* pixels = nullptr;
                int width = 0, height = 0, stride = 0;
                if (doc == nullptr ||
                    MkLabelDoc_Render(doc.get(), printer.get(), 0, &pixels, &width, &height, &stride) != MK_OK) {
                    failed = true;
                }
                MkFree(pixels);
                rendered.fetch_add(1, std::memory_order_relaxed);
            }
        });
    }

    double lowRate = 1e300, highRate = 0, lowMiB = 1e300, highMiB = 0;
    Clock::time_point resumed = Clock::now();
    long last = 0;
    for (int elapsed = interval; elapsed <= seconds; elapsed += interval) {
        std::this_thread::sleep_until(resumed + std::chrono::seconds(interval));
        double mib = 0;
        long now = 0;
        const Clock::time_point pausedAt = Clock::now();
        {
            std::unique_lock lock(pauseMutex);
            pausing = true;
            pauseChanged.wait(lock, [&] { return paused == threadCount; });
            now = rendered.load();
            mib = static_cast<double>(residentBytes()) / (1 << 20);
            pausing = false;
        }
        pauseChanged.notify_all();
        const double rate = static_cast<double>(now - last) /
                            std::chrono::duration<double>(pausedAt - resumed).count();
        resumed = Clock::now();
        last = now;
        std::printf("%8d %12.0f %14.1f\n", elapsed, rate, mib);
        std::fflush(stdout);
        if (elapsed > interval) {
            lowRate = std::min(lowRate, rate);
            highRate = std::max(highRate, rate);
            lowMiB = std::min(lowMiB, mib);
            highMiB = std::max(highMiB, mib);
        }
    }
    stop = true;
    threads.clear();
    std::printf("threads ended: resident %.1f MiB\n", static_cast<double>(residentBytes()) / (1 << 20));
    if (highRate > 0) {
        std::printf("after the first interval: %.0f to %.0f labels/s, %.1f to %.1f MiB resident\n", lowRate,
                    highRate, lowMiB, highMiB);
    }
    if (failed) std::fprintf(stderr, "a render failed\n");
    return failed ? 1 : 0;
}
