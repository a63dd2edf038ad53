#pragma once

#include <cstdint>

#include "platform/device_context.h"

namespace mk {

// Millimetres to printer dots: mm / 25.4 * dpi + 0.5 in single precision,
// truncated toward zero (so -0.3 mm at 203 dpi is -1 dot, not -2). Values
// beyond the int range saturate; NaN gives 0.
int mmToDots(float mm, int dpi);

// A stored ARGB colour as the surface's 0x00BBGGRR; alpha is dropped, every
// colour draws opaque.
platform::Colorref rgbToColorref(uint32_t argb);

}  // namespace mk
