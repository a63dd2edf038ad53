#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mk::platform {

// Surface memory kept between labels, so that labels printed one after
// another neither allocate nor fault in their pages each time. One pool
// serves every thread: together they keep at most this much, and a block
// larger than the whole pool is never kept.
inline constexpr std::size_t kSurfacePoolBytes = std::size_t{64} << 20;

// A block of at least the asked-for bytes, taken from the pool when it holds
// one large enough (the smallest such) and given back to it at the end. Its
// content is undefined. Throws std::bad_alloc when memory runs out.
class SurfaceBlock {
public:
    explicit SurfaceBlock(std::size_t bytes);
    ~SurfaceBlock();
    SurfaceBlock(const SurfaceBlock&) = delete;
    SurfaceBlock& operator=(const SurfaceBlock&) = delete;

    uint8_t* get() const { return block_.get(); }

private:
    std::unique_ptr<uint8_t[]> block_;
    std::size_t capacity_;
};

}  // namespace mk::platform
