#pragma once

// The render calls' pixels while the host holds them: blocks of the surface
// pool, recorded by address so that MkFree can give them back.

#include "portable/block_pool.h"

namespace mk::platform {

// Blocks handed to the host as a render call's pixels, which MkFree gives
// back. handToHost returns the block's memory, or null (and the block back
// in the pool) when memory to record it runs out.
void* handToHost(MappedBlock block) noexcept;
// Gives back a block handToHost handed out; false for any other pointer.
bool takeBackFromHost(void* pixels) noexcept;
// What MkFree releases: a block handToHost handed out goes back to the pool,
// anything else (a block of the C runtime's heap) to free().
void releaseHostPixels(void* pixels) noexcept;

}  // namespace mk::platform
