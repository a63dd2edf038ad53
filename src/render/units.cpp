#include "render/units.h"

#include "portable/int_convert.h"

namespace mk {

int mmToDots(float mm, int dpi) {
    // Kept in float on purpose: stored files were laid out with this exact
    // rounding, and double precision moves some half-dot cases.
    return platform::roundToInt(mm / 25.4f * static_cast<float>(dpi));
}

platform::Colorref rgbToColorref(uint32_t argb) {
    uint32_t red = (argb >> 16) & 0xFF;
    uint32_t green = (argb >> 8) & 0xFF;
    uint32_t blue = argb & 0xFF;
    return red + green * 256 + blue * 65536;
}

}  // namespace mk
