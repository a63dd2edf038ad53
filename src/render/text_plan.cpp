#include "render/text_plan.h"

#include <algorithm>
#include <climits>

#include "portable/int_convert.h"
#include "render/draw_budget.h"
#include "render/text_object.h"

namespace mk {

int64_t blockOffset(int alignCode, int64_t size) {
    if (alignCode == 1) return -(size / 2);
    if (alignCode == 2) return -size;
    return 0;
}

int64_t lineOffset(int alignCode, int64_t blockSize, int64_t size) {
    if (alignCode == 1) return (blockSize - size) / 2;
    if (alignCode == 2) return blockSize - size;
    return 0;
}

void TextPlan::keepWithin(SurfaceSize surface, int64_t lineHeight, bool singleCodePoints) {
    // Without a usable scale the platform draws unscaled (see drawTextPlan).
    const double scale = scaled && scaleX > 0.0f ? scaleX : 1.0;
    const int64_t reach = kGlyphReachInLines * std::max<int64_t>(lineHeight, 0);
    Window window;
    if (singleCodePoints) window.left = -reach;
    window.top = -reach;
    window.right = static_cast<double>(surface.width) / scale + static_cast<double>(reach);
    window.bottom = static_cast<int64_t>(surface.height) + reach;
    window_ = window;
    surface_ = surface;
}

namespace {

// The part of [start, start + length) within [0, limit].
int64_t clippedLength(double start, double length, int64_t limit) {
    const double from = std::clamp(start, 0.0, static_cast<double>(limit));
    const double to = std::clamp(start + std::max(length, 0.0), 0.0, static_cast<double>(limit));
    return static_cast<int64_t>(to - from);
}

}  // namespace

void TextPlan::place(int64_t x, int64_t y, std::u16string_view text, int64_t cellWidth, int64_t cellHeight) {
    if (window_ && (x < window_->left || y < window_->top || static_cast<double>(x) > window_->right ||
                    y > window_->bottom)) {
        return;
    }
    // The units of a plan are counted in 32 bits; no label text comes near that.
    if (text.size() > UINT32_MAX - units.size()) return;
    pieces.push_back(PlacedText{platform::saturateToInt(x), platform::saturateToInt(y),
                                static_cast<uint32_t>(units.size()), static_cast<uint32_t>(text.size())});
    units.append(text);
    const double scale = scaled && scaleX > 0.0f ? scaleX : 1.0;
    const int64_t width = clippedLength(static_cast<double>(x) * scale, static_cast<double>(cellWidth) * scale,
                                        surface_.width);
    const int64_t height = clippedLength(static_cast<double>(y), static_cast<double>(cellHeight), surface_.height);
    // Glyphs beyond the surface are stepped over, not painted; each glyph
    // painted is at least a pixel wide.
    const auto glyphs = std::min<int64_t>(static_cast<int64_t>(text.size()), width + 1);
    paintCost += static_cast<int64_t>(text.size()) / kCharactersPerDrawCost + glyphs * kGlyphPaintCost +
                 width * height / kPixelsPerDrawCost;
}

float roundedZoom(float zoom) { return static_cast<float>(platform::roundToInt(zoom * 10000.0f)) / 10000.0f; }

int logicalX(int64_t deviceX, float zoom) { return platform::roundToInt(static_cast<float>(deviceX) / zoom); }

void drawTextPlan(platform::DeviceContext& dc, const TextPlan& plan) {
    if (plan.reverseBox) {
        const FilledBox& box = *plan.reverseBox;
        dc.fillRect(box.left, box.top, box.right, box.bottom, box.color);
    }
    platform::GraphicsMode keptMode{};
    platform::WorldTransform keptTransform;
    if (plan.scaled) {
        keptMode = dc.setGraphicsMode(platform::GraphicsMode::Advanced);
        keptTransform = dc.worldTransform();
        // A zero scale is a singular transform, which the platform refuses:
        // the transform in force stays.
        if (plan.scaleX != 0.0f) dc.setWorldTransform(platform::WorldTransform{plan.scaleX, 0, 0, 1, 0, 0});
    }
    for (const PlacedText& piece : plan.pieces) drawTextRun(dc, plan.textOf(piece), piece.x, piece.y, plan.textColor);
    if (plan.scaled) {
        dc.setWorldTransform(keptTransform);
        dc.setGraphicsMode(keptMode);
    }
}

}  // namespace mk
