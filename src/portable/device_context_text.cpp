// Text on the drawing surface: the selected font, the text colour and the
// world transform, measuring and output. Every system's surface shares it.
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/device_context.h"
#include "portable/int_convert.h"

namespace mk::platform {

struct TextState {
    FontHandle font;
    Colorref textColor = kBlack;
    GraphicsMode graphicsMode = GraphicsMode::Compatible;
    WorldTransform transform;
};

namespace {

// Far beyond any surface, yet safe to add text extents to.
constexpr double kCoordinateLimit = 1e12;

double clampCoordinate(double v) {
    if (std::isnan(v)) return 0.0;
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

int clampToInt(double v) { return truncToInt(std::round(v)); }

TextState& stateOf(DeviceContext& dc) {
    if (!dc.textState) dc.textState = std::make_shared<TextState>();
    return *dc.textState;
}

const TextState kDefaultState;

const TextState& stateOf(const DeviceContext& dc) { return dc.textState ? *dc.textState : kDefaultState; }

}  // namespace

FontHandle DeviceContext::selectFont(FontHandle font) { return std::exchange(stateOf(*this).font, std::move(font)); }

Colorref DeviceContext::setTextColor(Colorref color) { return std::exchange(stateOf(*this).textColor, color); }
Colorref DeviceContext::textColor() const { return stateOf(*this).textColor; }

GraphicsMode DeviceContext::setGraphicsMode(GraphicsMode mode) {
    TextState& state = stateOf(*this);
    if (mode == GraphicsMode::Compatible) state.transform = WorldTransform{};
    return std::exchange(state.graphicsMode, mode);
}
GraphicsMode DeviceContext::graphicsMode() const { return stateOf(*this).graphicsMode; }

bool DeviceContext::setWorldTransform(const WorldTransform& transform) {
    TextState& state = stateOf(*this);
    if (state.graphicsMode != GraphicsMode::Advanced) return false;
    state.transform = transform;
    return true;
}
WorldTransform DeviceContext::worldTransform() const { return stateOf(*this).transform; }

FontHandle DeviceContext::font() const {
    if (textState && textState->font) return textState->font;
    return createFont(LogFont{});
}

TextExtent DeviceContext::textExtent(std::u16string_view text) const {
    // Layout measures every code point: the selected font is used where it
    // is, without a copy of its handle each time.
    if (textState && textState->font) return textState->font->measure(text);
    return font()->measure(text);
}

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
