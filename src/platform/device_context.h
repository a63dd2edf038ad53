#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/font.h"

// A drawing surface in printer dots with the small set of drawing operations
// the label renderer uses. Its memory is the rendered label itself: 32 bits
// per pixel (blue, green, red, unused), stride 4 x width, rows top-down.
//
// Rules that hold for every operation, so that what is drawn is what prints:
// - no antialiasing: a pixel is either untouched or exactly the drawing colour;
// - a box (l, t, r, b) covers columns l..r-1 and rows t..b-1: its left and top
//   edges are inside, its right and bottom edges outside;
// - a line covers its start point and excludes its end point (1-dot pens);
// - a 1-dot pen traces the box's edge pixels; a wider pen is centred on the
//   box's boundary lines, reaching w/2 dots to each side of them (an odd
//   width puts the extra dot outside at the left and top, inside at the
//   right and bottom);
// - everything outside the surface is clipped; no coordinate, however large,
//   writes outside the pixel memory.
namespace mk::platform {

// A colour as 0x00BBGGRR.
using Colorref = uint32_t;

inline constexpr Colorref kWhite = 0x00FFFFFFu;
inline constexpr Colorref kBlack = 0x00000000u;

// The dash patterns of 1-dot pens, with this surface's own dash lengths.
enum class CosmeticStyle { Solid, Dash, Dot, DashDot, DashDotDot };

// A pen is a plain value: making, selecting and dropping one costs nothing
// and needs no release.
struct Pen {
    // 1 for a cosmetic pen; the stroke width in dots for a geometric one.
    int width = 1;
    Colorref color = kBlack;
    bool geometric = false;
    CosmeticStyle cosmeticStyle = CosmeticStyle::Solid;
    // Geometric pens: dash, gap, dash, gap... in dots; empty draws solid.
    // Lengths are what shows on the surface, round caps included.
    std::vector<int> pattern;

    // A 1-dot pen with a dash pattern of the surface's own.
    static Pen cosmetic(CosmeticStyle style, Colorref color);
    // A solid pen: 1-dot when width <= 1, else a geometric pen with round
    // caps and joins.
    static Pen solid(int width, Colorref color);
    // A geometric pen with round caps and joins and a dash pattern in dots.
    static Pen dashed(int width, Colorref color, std::vector<int> pattern);
};

struct Brush {
    bool hollow = false;  // hollow: shapes leave their inside untouched
    Colorref color = kWhite;

    static Brush solid(Colorref color) { return Brush{false, color}; }
    static Brush hollowBrush() { return Brush{true, kBlack}; }
};

enum class BackgroundMode { Transparent, Opaque };
enum class GraphicsMode { Compatible, Advanced };

// An affine map from logical to device units: x' = m11 x + m21 y + dx,
// y' = m12 x + m22 y + dy. Drawing operations of this class work in device
// units; the text layer applies the transform to what it draws.
struct WorldTransform {
    float m11 = 1.0f;
    float m12 = 0.0f;
    float m21 = 0.0f;
    float m22 = 1.0f;
    float dx = 0.0f;
    float dy = 0.0f;
};

// A block of 32-bit pixels (blue, green, red, unused), rows top-down.
struct PixelBlock {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row, at least 4 x width
    // Decoded pictures carry alpha in the fourth byte: when set, pixels whose
    // alpha is 0 leave the surface as it was. Otherwise every pixel is copied.
    bool alphaMasked = false;
};

struct TextState;  // owned by the text layer

// The largest surface made, in bytes of pixel memory: 134 217 728 dots, for
// example 11 585 x 11 585. A label's render, preview and print need this
// once (twice on a system whose surface memory is its own, which hands the
// host a copy).
inline constexpr int64_t kLargestSurfaceBytes = int64_t{512} << 20;

// Whether a surface of width x height dots may be made: both at least 1 and
// the memory within kLargestSurfaceBytes.
inline bool surfaceSizeAllowed(int width, int height) {
    return width >= 1 && height >= 1 && int64_t{width} * height <= kLargestSurfaceBytes / 4;
}

class DeviceContext {
public:
    // A white surface of width x height dots, or nullptr when the size is
    // not allowed (surfaceSizeAllowed, checked before any memory is touched)
    // or the memory cannot be allocated. A system may take the memory from
    // the surface pool (portable/block_pool.h), which keeps the memory of
    // surfaces destroyed earlier and of pixels the host gave back, so that
    // labels drawn one after another neither map nor fault in their pages
    // each time; it is filled white all the same.
    static std::unique_ptr<DeviceContext> create(int width, int height);
    ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    int width() const;
    int height() const;
    int stride() const;  // always 4 x width
    // The pixels, with every drawing operation finished. The print path
    // reads them where they lie (no copy): they stay valid and unchanged
    // until the next drawing call or the surface's end.
    const uint8_t* pixels() const;
    // For layers that write pixels themselves (glyphs, decoded images). The
    // pointer stays valid for the life of the surface; drawing operations
    // called afterwards see what was written.
    uint8_t* mutablePixels();
    // Ends the surface's drawing and hands its pixels to the host as a
    // render call's buffer, which releaseHostPixels (MkFree) gives back:
    // the surface's own memory where it is a mapped block, else a copy in
    // one. Null when memory runs out. Afterwards the surface may only be
    // destroyed.
    void* handPixelsToHost();

    // The box (l, t, r, b) in one colour, right and bottom edges excluded;
    // nothing when r <= l or b <= t. Pen and brush are not used.
    void fillRect(int left, int top, int right, int bottom, Colorref color);

    // Select returns what was selected before, so the caller can put it back.
    Pen selectPen(const Pen& pen);
    Brush selectBrush(const Brush& brush);
    const Pen& pen() const;
    const Brush& brush() const;

    // Shapes outlined with the pen and filled with the brush. Corners given
    // in the wrong order are put in order first.
    void rectangle(int left, int top, int right, int bottom);
    // Each corner is a quarter of a cornerWidth x cornerHeight ellipse.
    void roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
    // The ellipse inscribed in the box.
    void ellipse(int left, int top, int right, int bottom);
    void moveTo(int x, int y);
    // A line with the pen from the current position to (x, y), which becomes
    // the current position.
    void lineTo(int x, int y);

    // Opaque paints the gaps of dashed 1-dot lines in the background colour;
    // transparent leaves them. New surfaces start opaque, on white.
    BackgroundMode setBackgroundMode(BackgroundMode mode);
    BackgroundMode backgroundMode() const;
    Colorref setBackgroundColor(Colorref color);
    Colorref backgroundColor() const;
    // Stored for the text layer; starts black.
    Colorref setTextColor(Colorref color);
    Colorref textColor() const;

    // The world transform can be set only in the advanced mode (false
    // otherwise, as the platform does); returning to the compatible mode
    // resets it to identity.
    GraphicsMode setGraphicsMode(GraphicsMode mode);
    GraphicsMode graphicsMode() const;
    bool setWorldTransform(const WorldTransform& transform);
    WorldTransform worldTransform() const;

    // Copies the block with its top-left corner at (x, y), unscaled. Pixels
    // under it are replaced (but see PixelBlock::alphaMasked).
    void setPixels(int x, int y, const PixelBlock& block);
    // Copies the source rectangle (srcX, srcY, srcWidth, srcHeight) of the
    // block onto the destination rectangle (x, y, destWidth, destHeight),
    // nearest neighbour. A negative destination size mirrors along that axis.
    void stretchPixels(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth, int srcHeight,
                       const PixelBlock& block);

    // ---- Text -----------------------------------------------------------
    // Font selection, measuring and text output are the text layer's; their
    // declarations go here and their definitions in device_context_text.cpp.
    // Whatever state they keep hangs off textState (created lazily by that
    // layer; the shared_ptr carries its own deleter, so this class never
    // needs the complete type).
    std::shared_ptr<TextState> textState;

    // Select returns the font selected before (null when none was).
    FontHandle selectFont(FontHandle font);
    // The selected font; a 16-pixel font of the default face when none is.
    FontHandle font() const;
    // The extent of the text in the selected font, in logical units.
    TextExtent textExtent(std::u16string_view text) const;
    // Draws the text in the text colour with the top-left corner of its cell
    // at (x, y), in logical units: in the advanced mode the world transform
    // maps the position, and its horizontal scale (m11) widens or narrows the
    // glyphs and their advances with it. In the opaque mode the cell is first
    // filled with the background colour.
    void textOut(int x, int y, std::u16string_view text);
    // ---- end of text ----------------------------------------------------

private:
    struct Impl;
    explicit DeviceContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace mk::platform
