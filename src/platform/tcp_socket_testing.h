#pragma once

#include <cstddef>

namespace mk::platform {

// Tests only: makes every send take at most this many bytes, as a busy
// system may, so that the callers' send loops are exercised; 0 lifts it.
void setSendLimitForTesting(std::size_t bytes);

}  // namespace mk::platform
