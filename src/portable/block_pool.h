#pragma once

// Mapped blocks kept between labels, so that labels drawn one after another
// neither map nor fault in their pages each time: the surfaces of the print
// path and the pixels the render calls hand to the host, which come back when
// the host releases them (host_blocks.h).

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/mutex.h"

namespace mk::platform {

// A mapped block (mapMemory): its memory and the bytes it spans.
struct MappedBlock {
    uint8_t* data = nullptr;
    std::size_t capacity = 0;
};

// Keeps at most maxBytes of blocks, and at most kMaxBlocks of them, for all
// threads together. take() hands out the smallest kept block that holds the
// bytes asked for, else a new mapping; give() keeps the block as the newest,
// dropping the oldest first while the bound would be passed, and unmaps a
// block larger than the whole bound at once. Nothing is kept while
// cachingEnabled() is off. It never allocates, so giving back cannot fail.
class BlockPool {
public:
    static constexpr std::size_t kMaxBlocks = 32;

    constexpr explicit BlockPool(std::size_t maxBytes) noexcept : maxBytes_(maxBytes) {}
    ~BlockPool() { close(); }
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // At least bytes of memory whose content is undefined; null data when
    // the system has no memory to give.
    MappedBlock take(std::size_t bytes) noexcept;
    void give(MappedBlock block) noexcept;
    // Unmaps every kept block and keeps none from then on, while take() and
    // give() go on working: what the library does when it is unloaded or the
    // process ends, before the host's last exit handlers may still give.
    void close() noexcept;

    std::size_t bytes() const;
    std::size_t count() const;

private:
    const std::size_t maxBytes_;
    mutable Mutex mutex_;
    std::array<MappedBlock, kMaxBlocks> blocks_{};  // oldest first
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
    bool closed_ = false;
};

// The pool of surface and render memory: 64 MiB for the whole process. It is
// never destroyed, only closed when the library's statics go.
inline constexpr std::size_t kSurfacePoolBytes = std::size_t{64} << 20;
BlockPool& surfacePool();

}  // namespace mk::platform
