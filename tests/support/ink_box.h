#pragma once

#include <cstdint>

#include "platform/device_context.h"

namespace mk::test {

// The bounding box of the pixels that are not the given background colour,
// right and bottom edges excluded; empty (count 0) when there are none.
struct InkBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int64_t count = 0;  // pixels that differ from the background

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

InkBox inkBox(const platform::DeviceContext& dc, platform::Colorref background = platform::kWhite);
// Only within the rectangle (l, t, r, b).
InkBox inkBox(const platform::DeviceContext& dc, int l, int t, int r, int b,
              platform::Colorref background = platform::kWhite);

// The colour of a pixel as 0x00BBGGRR.
platform::Colorref pixelAt(const platform::DeviceContext& dc, int x, int y);

}  // namespace mk::test
