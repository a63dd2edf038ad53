#include "comm/comm_timing.h"

#include <atomic>

namespace mk {
namespace {

constinit const CommTiming kShippedTiming{};
constinit std::atomic<const CommTiming*> installedTiming{nullptr};

}  // namespace

const CommTiming& commTiming() {
    const CommTiming* timing = installedTiming.load();
    return timing != nullptr ? *timing : kShippedTiming;
}

ScopedCommTiming::ScopedCommTiming(const CommTiming& timing)
    : timing_(timing), previous_(installedTiming.exchange(&timing_)) {}

ScopedCommTiming::~ScopedCommTiming() { installedTiming.store(previous_); }

}  // namespace mk
