#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace mk::platform {

// Layout arithmetic runs on values from label files, which may be absurd;
// these keep every conversion and sum defined instead of overflowing.

inline int saturateToInt(int64_t v) {
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// (int)v, truncating toward zero; NaN gives 0 and values beyond the range of
// int give its ends.
inline int truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// (int)(v + 0.5f) with the addition in single precision, as stored label
// geometry was computed: half up for positive values, toward zero after the
// half for negative ones. Defined for any value, as truncToInt.
inline int roundToInt(float v) { return truncToInt(v + 0.5f); }

}  // namespace mk::platform
