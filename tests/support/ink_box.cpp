#include "support/ink_box.h"

#include <algorithm>

namespace mk::test {

platform::Colorref pixelAt(const platform::DeviceContext& dc, int x, int y) {
    const uint8_t* p = dc.pixels() + static_cast<size_t>(y) * dc.stride() + static_cast<size_t>(x) * 4;
    return static_cast<platform::Colorref>(p[2]) | static_cast<platform::Colorref>(p[1]) << 8 |
           static_cast<platform::Colorref>(p[0]) << 16;
}

InkBox inkBox(const platform::DeviceContext& dc, int l, int t, int r, int b, platform::Colorref background) {
    InkBox box;
    box.left = r;
    box.top = b;
    for (int y = std::max(t, 0); y < std::min(b, dc.height()); ++y) {
        for (int x = std::max(l, 0); x < std::min(r, dc.width()); ++x) {
            if (pixelAt(dc, x, y) == background) continue;
            ++box.count;
            box.left = std::min(box.left, x);
            box.top = std::min(box.top, y);
            box.right = std::max(box.right, x + 1);
            box.bottom = std::max(box.bottom, y + 1);
        }
    }
    if (box.count == 0) box = InkBox{};
    return box;
}

InkBox inkBox(const platform::DeviceContext& dc, platform::Colorref background) {
    return inkBox(dc, 0, 0, dc.width(), dc.height(), background);
}

}  // namespace mk::test
