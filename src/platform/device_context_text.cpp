// Text on the drawing surface: the selected font, measuring and output.
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/device_context.h"
#include "platform/int_convert.h"

namespace mk::platform {

struct TextState {
    FontHandle font;
};

namespace {

// Far beyond any surface, yet safe to add text extents to.
constexpr double kCoordinateLimit = 1e12;

double clampCoordinate(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

int clampToInt(double v) { return truncToInt(std::round(v)); }

}  // namespace

FontHandle DeviceContext::selectFont(FontHandle font) {
    if (!textState) textState = std::make_shared<TextState>();
    return std::exchange(textState->font, std::move(font));
}

FontHandle DeviceContext::font() const {
    if (textState && textState->font) return textState->font;
    return createFont(LogFont{});
}

TextExtent DeviceContext::textExtent(std::u16string_view text) const { return font()->measure(text); }

void DeviceContext::textOut(int x, int y, std::u16string_view text) {
    const FontHandle current = font();
    WorldTransform t;  // identity unless the advanced mode is on
    if (graphicsMode() == GraphicsMode::Advanced) t = worldTransform();
    // The position follows the whole transform; only its horizontal scale
    // shapes the glyphs (the layouts use no other).
    const double originX = clampCoordinate(double{t.m11} * x + double{t.m21} * y + t.dx);
    const double originY = std::round(clampCoordinate(double{t.m12} * x + double{t.m22} * y + t.dy));
    const double scale = t.m11;

    if (backgroundMode() == BackgroundMode::Opaque) {
        const TextExtent extent = current->measure(text);
        const double right = clampCoordinate(originX + scale * extent.cx);
        fillRect(clampToInt(std::min(originX, right)), clampToInt(originY), clampToInt(std::max(originX, right)),
                 clampToInt(originY + extent.cy), backgroundColor());
    }
    if (!(scale > 0.0)) return;  // a mirrored or collapsed scale draws no glyphs
    const PixelTarget target{mutablePixels(), width(), height(), stride()};
    current->draw(target, originX, static_cast<int64_t>(originY), scale, text, textColor());
}

}  // namespace mk::platform
