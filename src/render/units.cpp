#include "render/units.h"

#include <cmath>
#include <limits>

namespace mk {

int mmToDots(float mm, int dpi) {
    // Kept in float on purpose: stored files were laid out with this exact
    // rounding, and double precision moves some half-dot cases.
    float dots = mm / 25.4f * static_cast<float>(dpi) + 0.5f;
    if (std::isnan(dots)) return 0;
    // 2^31 is exact in float; converting anything at or beyond it is undefined.
    if (dots >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (dots <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(dots);
}

platform::Colorref rgbToColorref(uint32_t argb) {
    uint32_t red = (argb >> 16) & 0xFF;
    uint32_t green = (argb >> 8) & 0xFF;
    uint32_t blue = argb & 0xFF;
    return red + green * 256 + blue * 65536;
}

}  // namespace mk
