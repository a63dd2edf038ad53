#include "platform/block_pool.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "platform/bounded_cache.h"
#include "platform/mapped_memory.h"

namespace mk::platform {

BlockPool::~BlockPool() {
    for (std::size_t i = 0; i < count_; ++i) unmapMemory(blocks_[i].data, blocks_[i].capacity);
}

MappedBlock BlockPool::take(std::size_t bytes) noexcept {
    if (cachingEnabled()) {
        std::lock_guard lock(mutex_);
        std::size_t best = count_;
        for (std::size_t i = 0; i < count_; ++i) {
            if (blocks_[i].capacity >= bytes && (best == count_ || blocks_[i].capacity < blocks_[best].capacity)) {
                best = i;
            }
        }
        if (best < count_) {
            const MappedBlock taken = blocks_[best];
            std::copy(blocks_.begin() + static_cast<std::ptrdiff_t>(best) + 1,
                      blocks_.begin() + static_cast<std::ptrdiff_t>(count_), blocks_.begin() + static_cast<std::ptrdiff_t>(best));
            --count_;
            bytes_ -= taken.capacity;
            return taken;
        }
    }
    auto* data = static_cast<uint8_t*>(mapMemory(bytes));
    return data != nullptr ? MappedBlock{data, mappedSize(bytes)} : MappedBlock{};
}

void BlockPool::give(MappedBlock block) noexcept {
    if (block.data == nullptr) return;
    if (!cachingEnabled() || block.capacity > maxBytes_) {
        unmapMemory(block.data, block.capacity);
        return;
    }
    // Blocks pushed out are unmapped after the lock is let go.
    std::array<MappedBlock, kMaxBlocks> dropped{};
    std::size_t droppedCount = 0;
    {
        std::lock_guard lock(mutex_);
        std::size_t oldest = 0;
        while (oldest < count_ && (count_ - oldest == kMaxBlocks || bytes_ + block.capacity > maxBytes_)) {
            bytes_ -= blocks_[oldest].capacity;
            dropped[droppedCount++] = blocks_[oldest++];
        }
        std::copy(blocks_.begin() + static_cast<std::ptrdiff_t>(oldest),
                  blocks_.begin() + static_cast<std::ptrdiff_t>(count_), blocks_.begin());
        count_ -= oldest;
        blocks_[count_++] = block;
        bytes_ += block.capacity;
    }
    for (std::size_t i = 0; i < droppedCount; ++i) unmapMemory(dropped[i].data, dropped[i].capacity);
}

std::size_t BlockPool::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

std::size_t BlockPool::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

namespace {

// Made at load, like every shared object of the library: the Windows DLL
// has no guarded function-local statics.
BlockPool pool(kSurfacePoolBytes);

// The blocks the host holds, by address, in shards with a lock each, so that
// threads handing out and taking back pixels seldom meet.
struct HostShard {
    Mutex mutex;
    std::unordered_map<const void*, std::size_t> capacities;
};
constexpr std::size_t kHostShards = 16;
std::array<HostShard, kHostShards> hostShards;

HostShard& shardOf(const void* pixels) {
    // Blocks are whole pages: the address above the page bits spreads them.
    return hostShards[(reinterpret_cast<std::uintptr_t>(pixels) >> 12) % kHostShards];
}

}  // namespace

BlockPool& surfacePool() { return pool; }

void* handToHost(MappedBlock block) noexcept {
    if (block.data == nullptr) return nullptr;
    HostShard& shard = shardOf(block.data);
    try {
        std::lock_guard lock(shard.mutex);
        shard.capacities.emplace(block.data, block.capacity);
    } catch (...) {
        pool.give(block);
        return nullptr;
    }
    return block.data;
}

bool takeBackFromHost(void* pixels) noexcept {
    if (pixels == nullptr) return false;
    HostShard& shard = shardOf(pixels);
    MappedBlock block;
    {
        std::lock_guard lock(shard.mutex);
        const auto it = shard.capacities.find(pixels);
        if (it == shard.capacities.end()) return false;
        block = MappedBlock{static_cast<uint8_t*>(pixels), it->second};
        shard.capacities.erase(it);
    }
    pool.give(block);
    return true;
}

void releaseHostPixels(void* pixels) noexcept {
    if (!takeBackFromHost(pixels)) std::free(pixels);
}

}  // namespace mk::platform
