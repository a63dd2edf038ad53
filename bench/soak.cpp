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
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mklabel.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/test_images.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kFaces[] = {"Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Sans",
                                  "DejaVu Serif",    "Nimbus Sans",      "URW Gothic",      "P052"};
constexpr const char* kWords[] = {"pallet", "batch", "fragile", "keep dry", "store below 25 C", "Lot",
                                  "net weight", "best before", "made in", "this side up"};
constexpr int kDpis[] = {203, 300, 600};
constexpr int kDesigns = 240;

std::size_t residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

LabelObject& add(LabelDoc& doc, std::string name, float x, float y) {
    LabelObject& object = doc.objects.emplace_back();
    object.ObjectName = std::move(name);
    object.Xposition = x;
    object.Yposition = y;
    return object;
}

std::string words(std::mt19937& random, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kWords[random() % std::size(kWords)];
    }
    return text;
}

// A picture: a third of them shared by many designs (the picture cache's
// hits), the rest of their own; BMP, PNG or JPEG, 40 to 640 pixels a side.
std::vector<uint8_t> picture(std::mt19937& random, int design) {
    const bool shared = design % 3 == 0;
    std::mt19937 own(shared ? static_cast<unsigned>(design % 4) : random());
    const int width = 40 + static_cast<int>(own() % 600);
    const int height = 40 + static_cast<int>(own() % 600);
    const mk::test::TestImage image = mk::test::quadrantImage(width, height);
    switch (own() % 3) {
    case 0: return mk::test::encodeBmp(image);
    case 1: return mk::test::encodePng(image);
    default: return mk::test::encodeJpeg(image);
    }
}

// One design of the set; each is drawn at every resolution in turn.
std::string design(int index) {
    std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
    LabelDoc doc;
    doc.labelwidth = 30.0f + static_cast<float>(random() % 171);
    doc.labelheight = 30.0f + static_cast<float>(random() % 171);
    const float w = doc.labelwidth, h = doc.labelheight;
    auto at = [&](float extent) { return static_cast<float>(random() % 1000) / 1000.0f * extent * 0.8f; };
    const int texts = 2 + static_cast<int>(random() % 6);
    for (int i = 0; i < texts; ++i) {
        LabelObject& text = add(doc, "text" + std::to_string(i), at(w), at(h));
        text.textfont = kFaces[random() % std::size(kFaces)];
        // Sizes in tenths of a point: hundreds of distinct sizes over the set.
        text.fontsize = 5.0f + static_cast<float>(random() % 400) / 10.0f;
        text.fontstyle = static_cast<int>(random() % 4);
        text.objectdata = words(random, 1 + static_cast<int>(random() % 12));
        if (random() % 2 == 0) {
            text.texttype = 1;
            text.textwidth = std::max(10.0f, at(w));
        }
    }
    LabelObject& lot = add(doc, "text_lot", 2.0f, 2.0f);
    lot.textfont = kFaces[random() % std::size(kFaces)];
    lot.fontsize = 8.0f + static_cast<float>(random() % 120) / 10.0f;
    lot.objectdata = "Lot 0001";
    lot.datachild_IDs = "1";
    LabelVariable& variable = lot.Variables.emplace_back();
    variable.id = 1;
    variable.sharename = "lot";
    variable.data = "Lot 0001";

    static constexpr const char* kBarcodes[][2] = {{"Code 128 Auto", "MK-%06d"},
                                                   {"QR Code(2D)", "https://example.com/labels/%06d"},
                                                   {"EAN-13", "590123%06d"},
                                                   {"Data Matrix(2D)", "SERIAL %06d BATCH 42"},
                                                   {"Code 39", "LOT%06d"}};
    const int barcodes = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < barcodes; ++i) {
        const auto& kind = kBarcodes[random() % std::size(kBarcodes)];
        char data[64];
        std::snprintf(data, sizeof data, kind[1], static_cast<int>(random() % 1000000));
        LabelObject& code = add(doc, "barcode" + std::to_string(i), at(w), at(h));
        code.barcodekind = kind[0];
        code.objectdata = data;
        code.barcodescale = 1.0f + static_cast<float>(random() % 3);
        code.barcodeheight = 5.0f + static_cast<float>(random() % 15);
    }
    LabelObject& line = add(doc, "line1", 0.0f, 0.0f);
    line.startXposition = 1.0f;
    line.startYposition = h / 2;
    line.endXposition = w - 1.0f;
    line.endYposition = h / 2;
    LabelObject& frame = add(doc, "rectangle1", 0.0f, 0.0f);
    frame.startXposition = 1.0f;
    frame.startYposition = 1.0f;
    frame.endXposition = w - 1.0f;
    frame.endYposition = h - 1.0f;
    frame.rectangleclass = static_cast<int>(random() % 3);
    if (random() % 4 != 0) {
        LabelObject& image = add(doc, "image1", at(w), at(h));
        image.imagedata = picture(random, index);
        image.scale = 0.2f + static_cast<float>(random() % 10) / 10.0f;
    }
    return mk::test::lsfOf(doc);
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
    for (int i = 0; i < kDesigns; ++i) designs.push_back(design(i));

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
                MkPrinter_SetDpi(printer.get(), kDpis[(i / 7) % std::size(kDpis)]);
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
