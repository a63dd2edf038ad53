#pragma once

// Measures how much resident memory a piece of work needs at its peak, by
// running it in a child process whose peak the kernel records.

#include <cstddef>
#include <functional>
#include <optional>

namespace mk::test {

struct ChildRun {
    std::size_t peakRiseBytes = 0;  // highest resident size during the work, less the size before it
    int result = 0;                 // what the work returned
};

// Runs work in a forked child. nullopt where the peak cannot be measured
// honestly: under a sanitizer (its allocator keeps freed blocks), or where the
// kernel does not let a process reset its recorded peak.
std::optional<ChildRun> runInChildMeasuringPeak(const std::function<int()>& work);

// The process's resident size now, in bytes; 0 when unknown.
std::size_t residentBytes();

// Whether the C runtime maps a block of these many bytes (from 128 KiB on),
// as it does until a mapped block is freed: freeing one raises its threshold
// for mapping to that block's size, and the host's blocks below it stay in
// the heaps. The block it frees raises the threshold too: ask again only with
// a larger size. nullopt where that cannot be told (not glibc, or sanitized).
std::optional<bool> runtimeMapsBlocksOf(std::size_t bytes);

// True in a build with a sanitizer (address or thread), where peaks are not
// measured.
bool sanitizedBuild();

}  // namespace mk::test
