#include "support/peak_memory.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MK_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MK_TEST_SANITIZED 1
#endif
#endif

namespace mk::test {
namespace {

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in bytes; 0 when absent.
std::size_t statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stoul(line.substr(std::strlen(field))) * 1024;
    }
    return 0;
}

// Writing 5 to clear_refs makes the recorded peak the current resident size.
bool resetRecordedPeak() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (file == nullptr) return false;
    const bool written = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && written;
}

struct Report {
    bool measured;
    std::size_t rise;
    int result;
};

}  // namespace

std::optional<ChildRun> runInChildMeasuringPeak(const std::function<int()>& work) {
    if (sanitizedBuild()) return std::nullopt;
    int channel[2];
    if (pipe(channel) != 0) return std::nullopt;
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return std::nullopt;
    }
    if (child == 0) {
        close(channel[0]);
        // Free blocks the parent left in the heap would be reused without
        // raising the resident size; hand them back first.
        malloc_trim(0);
        Report report{resetRecordedPeak(), 0, 0};
        const std::size_t before = residentBytes();
        report.result = work();
        const std::size_t peak = statusBytes("VmHWM:");
        report.rise = peak > before ? peak - before : 0;
        report.measured = report.measured && before > 0 && peak > 0;
        const ssize_t written = write(channel[1], &report, sizeof report);
        _exit(written == static_cast<ssize_t>(sizeof report) ? 0 : 1);
    }
    close(channel[1]);
    Report report{};
    const ssize_t got = read(channel[0], &report, sizeof report);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof report) || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !report.measured) {
        return std::nullopt;
    }
    return ChildRun{report.rise, report.result};
}

std::size_t residentBytes() { return statusBytes("VmRSS:"); }

bool sanitizedBuild() {
#ifdef MK_TEST_SANITIZED
    return true;
#else
    return false;
#endif
}

}  // namespace mk::test

namespace mk::test {

std::optional<bool> runtimeMapsBlocksOf(std::size_t bytes) {
#if defined(__GLIBC__) && !defined(MK_TEST_SANITIZED)
    const std::size_t before = mallinfo2().hblkhd;
    void* block = std::malloc(bytes);
    const std::size_t during = mallinfo2().hblkhd;
    std::free(block);
    return block != nullptr && during > before;
#else
    (void)bytes;
    return std::nullopt;
#endif
}

}  // namespace mk::test
