#include "lsf/number_text.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "platform/c_numbers.h"

namespace mk {
namespace {

// Rounds to nearest, overflowing to infinity as the hardware conversion does,
// without relying on a conversion the language leaves undefined for values
// beyond the float range.
float nearestFloat(double value) {
    if (!std::isfinite(value) || std::fabs(value) <= FLT_MAX) return static_cast<float>(value);
    // Halfway between FLT_MAX and 2^128; ties go to the even neighbour, 2^128.
    const double halfway = static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103);
    const float magnitude = std::fabs(value) >= halfway ? std::numeric_limits<float>::infinity() : FLT_MAX;
    return std::signbit(value) ? -magnitude : magnitude;
}

}  // namespace

float textToFloat(const std::string& text) { return nearestFloat(platform::strtodC(text.c_str())); }

int32_t textToInt32(const std::string& text, int base) {
    const long value = platform::strtolC(text.c_str(), base);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace mk
