#include "platform/linux/surface_pool.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/bounded_cache.h"
#include "platform/mutex.h"

namespace mk::platform {
namespace {

struct KeptBlock {
    std::unique_ptr<uint8_t[]> block;
    std::size_t capacity = 0;
};

struct SurfacePool {
    Mutex mutex;
    std::vector<KeptBlock> blocks;  // oldest first
    std::size_t bytes = 0;
};

SurfacePool& pool() {
    static SurfacePool instance;
    return instance;
}

// The smallest kept block that holds the bytes; empty when none does.
KeptBlock takeBlock(std::size_t bytes) {
    SurfacePool& p = pool();
    std::lock_guard lock(p.mutex);
    auto best = p.blocks.end();
    for (auto it = p.blocks.begin(); it != p.blocks.end(); ++it) {
        if (it->capacity >= bytes && (best == p.blocks.end() || it->capacity < best->capacity)) best = it;
    }
    if (best == p.blocks.end()) return {};
    KeptBlock taken = std::move(*best);
    p.blocks.erase(best);
    p.bytes -= taken.capacity;
    return taken;
}

}  // namespace

SurfaceBlock::SurfaceBlock(std::size_t bytes) : capacity_(bytes) {
    if (cachingEnabled() && bytes <= kSurfacePoolBytes) {
        KeptBlock kept = takeBlock(bytes);
        if (kept.block != nullptr) {
            block_ = std::move(kept.block);
            capacity_ = kept.capacity;
            return;
        }
    }
    block_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
}

SurfaceBlock::~SurfaceBlock() {
    if (!cachingEnabled() || capacity_ > kSurfacePoolBytes) return;
    // Blocks pushed out are freed after the lock is let go.
    std::vector<KeptBlock> dropped;
    SurfacePool& p = pool();
    std::lock_guard lock(p.mutex);
    while (!p.blocks.empty() && p.bytes + capacity_ > kSurfacePoolBytes) {
        p.bytes -= p.blocks.front().capacity;
        dropped.push_back(std::move(p.blocks.front()));
        p.blocks.erase(p.blocks.begin());
    }
    p.blocks.push_back(KeptBlock{std::move(block_), capacity_});
    p.bytes += capacity_;
}

}  // namespace mk::platform
