// The pens every drawing surface takes.
#include <algorithm>
#include <utility>

#include "platform/device_context.h"

namespace mk::platform {

Pen Pen::cosmetic(CosmeticStyle style, Colorref color) {
    Pen pen;
    pen.color = color;
    pen.cosmeticStyle = style;
    return pen;
}

Pen Pen::solid(int width, Colorref color) {
    Pen pen;
    pen.color = color;
    if (width > 1) {
        pen.width = width;
        pen.geometric = true;
    }
    return pen;
}

Pen Pen::dashed(int width, Colorref color, std::vector<int> pattern) {
    Pen pen;
    pen.width = std::max(width, 1);
    pen.color = color;
    pen.geometric = true;
    pen.pattern = std::move(pattern);
    return pen;
}

}  // namespace mk::platform
