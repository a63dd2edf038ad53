#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_context.h"
#include "platform/mapped_memory.h"

namespace mk {

// Lists a call makes in proportion to its text: mapped from their first
// 128 KiB on, so that they go back to the system when the call ends instead
// of staying in the heap of the thread that drew.
template <typename T>
using CallVector = std::vector<T, platform::MappedAllocator<T>>;
using CallU16String = std::basic_string<char16_t, std::char_traits<char16_t>, platform::MappedAllocator<char16_t>>;

// A piece of text at its position in logical units (the top-left corner of
// its cell); its units lie in the plan's text.
struct PlacedText {
    int x = 0;
    int y = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// The size of the surface a plan is drawn on, in dots.
struct SurfaceSize {
    int width = INT_MAX;
    int height = INT_MAX;
};

struct FilledBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    platform::Colorref color = platform::kBlack;
};

// What a text layout draws, worked out before anything is drawn so that the
// layout rules can be checked without a surface: the reverse-display box,
// the horizontal scale of the world transform, and the pieces in order.
struct TextPlan {
    std::optional<FilledBox> reverseBox;  // drawn before the text
    platform::Colorref textColor = platform::kBlack;
    bool scaled = false;  // whether the pieces are drawn under a world transform
    float scaleX = 1.0f;  // its m11: the zoom rounded to four decimals
    CallVector<PlacedText> pieces;
    CallU16String units;  // the pieces' texts, one after another
    // What drawing the pieces costs the call's budget (draw_budget.h): each
    // piece's units stepped over, and its glyphs and cell on the surface.
    int64_t paintCost = 0;

    // From here on, pieces that cannot reach the surface are left out: those
    // that start right of it or more than a glyph's reach below or above it,
    // and, for pieces of one code point, those that start more than that
    // left of it. A glyph reaches kGlyphReachInLines times lineHeight (in
    // logical units) from its cell's corner: wide glyphs, overhangs and marks
    // above or below the line all stay within it. scaleX must be set first.
    static constexpr int64_t kGlyphReachInLines = 4;
    void keepWithin(SurfaceSize surface, int64_t lineHeight, bool singleCodePoints);
    // Keeps a piece whose cell is cellWidth x cellHeight logical units.
    void place(int64_t x, int64_t y, std::u16string_view text, int64_t cellWidth, int64_t cellHeight);
    // Whether a piece at row y may be kept (keepWithin's rows).
    bool keepsRow(int64_t y) const { return !window_ || (y >= window_->top && y <= window_->bottom); }
    std::u16string_view textOf(const PlacedText& piece) const { return {units.data() + piece.offset, piece.length}; }

private:
    struct Window {
        int64_t left = INT64_MIN;
        int64_t top = INT64_MIN;
        double right = 0;  // logical units
        int64_t bottom = INT64_MAX;
    };
    std::optional<Window> window_;
    SurfaceSize surface_;
};

// Where a block of the given size starts relative to the anchor, by an
// alignment code (texttextalign or texttextvalign): 1 centres it, 2 puts its
// far edge on the anchor, anything else its near edge.
int64_t blockOffset(int alignCode, int64_t size);

// Where a line (or column) starts inside its block by the same codes.
int64_t lineOffset(int alignCode, int64_t blockSize, int64_t size);

// The world transform's m11 for a zoom: rounded to four decimals.
float roundedZoom(float zoom);

// The position a piece of a zoomed block starts at in logical units:
// (int)(deviceX / zoom + 0.5).
int logicalX(int64_t deviceX, float zoom);

// Draws a plan: the reverse box, then the pieces (each by drawTextRun) under
// the plan's transform, then puts the graphics mode and transform back.
void drawTextPlan(platform::DeviceContext& dc, const TextPlan& plan);

}  // namespace mk
