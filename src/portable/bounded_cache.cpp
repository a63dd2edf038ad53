#include "portable/bounded_cache.h"

#include <atomic>

namespace mk::platform {
namespace {

std::atomic<bool> caching{true};

}  // namespace

bool cachingEnabled() { return caching.load(std::memory_order_relaxed); }

void setCachingEnabled(bool enabled) { caching.store(enabled, std::memory_order_relaxed); }

}  // namespace mk::platform
