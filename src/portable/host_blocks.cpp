#include "portable/host_blocks.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "platform/mutex.h"
#include "portable/never_destroyed.h"

namespace mk::platform {

namespace {

// The blocks the host holds, by address, in shards with a lock each, so that
// threads handing out and taking back pixels seldom meet.
struct HostShard {
    Mutex mutex;
    std::unordered_map<const void*, std::size_t> capacities;
};
constexpr std::size_t kHostShards = 16;
using HostShards = std::array<HostShard, kHostShards>;
// Never destroyed: the host may still hold blocks when the library's statics
// go, and free them from its own exit handlers.
NeverDestroyed<HostShards> hostShards;

HostShard& shardOf(const void* pixels) {
    // Blocks are whole pages: the address above the page bits spreads them.
    return hostShards.value[(reinterpret_cast<std::uintptr_t>(pixels) >> 12) % kHostShards];
}

// When the library is unloaded, the shards that record no block give their
// tables back; a shard still recording blocks the host holds stays whole, so
// that MkFree still finds them.
struct TrimWithTheLibrary {
    ~TrimWithTheLibrary() {
        for (HostShard& shard : hostShards.value) {
            std::lock_guard lock(shard.mutex);
            if (shard.capacities.empty()) std::unordered_map<const void*, std::size_t>().swap(shard.capacities);
        }
    }
} trimWithTheLibrary;

}  // namespace

void* handToHost(MappedBlock block) noexcept {
    if (block.data == nullptr) return nullptr;
    HostShard& shard = shardOf(block.data);
    try {
        std::lock_guard lock(shard.mutex);
        shard.capacities.emplace(block.data, block.capacity);
    } catch (...) {
        surfacePool().give(block);
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
    surfacePool().give(block);
    return true;
}

void releaseHostPixels(void* pixels) noexcept {
    if (!takeBackFromHost(pixels)) std::free(pixels);
}

}  // namespace mk::platform
