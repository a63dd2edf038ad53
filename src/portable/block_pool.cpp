#include "portable/block_pool.h"

#include <algorithm>
#include <utility>

#include "portable/bounded_cache.h"
#include "portable/never_destroyed.h"
#include "platform/mapped_memory.h"

namespace mk::platform {

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
    // Blocks pushed out are unmapped after the lock is let go.
    std::array<MappedBlock, kMaxBlocks> dropped{};
    std::size_t droppedCount = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || !cachingEnabled() || block.capacity > maxBytes_) {
            dropped[droppedCount++] = block;
        } else {
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
    }
    for (std::size_t i = 0; i < droppedCount; ++i) unmapMemory(dropped[i].data, dropped[i].capacity);
}

void BlockPool::close() noexcept {
    std::array<MappedBlock, kMaxBlocks> dropped{};
    std::size_t droppedCount = 0;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        std::copy(blocks_.begin(), blocks_.begin() + static_cast<std::ptrdiff_t>(count_), dropped.begin());
        droppedCount = std::exchange(count_, 0);
        bytes_ = 0;
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

// Made before the library's code runs, like every shared object of the
// library (the Windows DLL has no guarded function-local statics), and never
// destroyed: MkFree may give a block back from the host's exit handlers.
constinit NeverDestroyed<BlockPool> pool(kSurfacePoolBytes);

// What the pool keeps goes back when the library is unloaded or the process
// ends; blocks given after that are unmapped at once.
struct CloseWithTheLibrary {
    ~CloseWithTheLibrary() { pool.value.close(); }
} closeWithTheLibrary;

}  // namespace

BlockPool& surfacePool() { return pool.value; }

}  // namespace mk::platform
