// The drawing surface on a GDI memory device context with a 32-bit DIB
// section. Fills, block copies and 1-dot lines write the memory directly, by
// the same code on every system; shapes and wider lines are GDI's.
#include "platform/device_context.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "portable/host_blocks.h"
#include "portable/clip_segment.h"
#include "portable/pixel_copy.h"
#include "platform/win32/gdi_object.h"

namespace mk::platform {

namespace {

// GDI's coordinate space is smaller than an int's, and the time it takes
// grows with the length it strokes, on the surface or not: lines are cut to
// this margin round the surface, and shapes that reach beyond it are cut to
// the surface itself.
constexpr int64_t kMargin = 1 << 14;

int cosmeticStyle(CosmeticStyle style) {
    switch (style) {
        case CosmeticStyle::Dash:
            return PS_DASH;
        case CosmeticStyle::Dot:
            return PS_DOT;
        case CosmeticStyle::DashDot:
            return PS_DASHDOT;
        case CosmeticStyle::DashDotDot:
            return PS_DASHDOTDOT;
        case CosmeticStyle::Solid:
            break;
    }
    return PS_SOLID;
}

// A geometric pattern as GDI strokes it: round caps add half the width at
// each end of every dash, so the dashes are shortened by the width and the
// gaps lengthened to keep the period. A dash no longer than the width would
// shrink to nothing, which GDI does not draw; such a pattern is stroked with
// flat caps and its lengths as they are. Empty for a solid pen or a pattern
// that describes no dashes.
std::vector<DWORD> geometricPattern(const Pen& pen, bool& flatCaps) {
    int64_t total = 0;
    flatCaps = false;
    for (size_t i = 0; i < pen.pattern.size(); ++i) {
        if (pen.pattern[i] < 0) return {};
        total += pen.pattern[i];
        if (i % 2 == 0 && pen.pattern[i] <= pen.width) flatCaps = true;
    }
    if (pen.pattern.empty() || total <= 0) return {};
    std::vector<DWORD> dashes;
    for (size_t i = 0; i < pen.pattern.size(); i += 2) {
        const int64_t on = pen.pattern[i];
        const int64_t off = i + 1 < pen.pattern.size() ? pen.pattern[i + 1] : 0;
        const int64_t shown = flatCaps ? on : on - pen.width;
        dashes.push_back(static_cast<DWORD>(shown));
        dashes.push_back(static_cast<DWORD>(on + off - shown));
    }
    return dashes;
}

GdiObject makePen(const Pen& pen) {
    if (!pen.geometric) return GdiObject(CreatePen(cosmeticStyle(pen.cosmeticStyle), 1, pen.color));
    LOGBRUSH brush{BS_SOLID, pen.color, 0};
    bool flatCaps = false;
    const std::vector<DWORD> dashes = geometricPattern(pen, flatCaps);
    const DWORD shape = PS_GEOMETRIC | PS_JOIN_ROUND | (flatCaps ? PS_ENDCAP_FLAT : PS_ENDCAP_ROUND);
    if (dashes.empty()) return GdiObject(ExtCreatePen(shape | PS_SOLID, static_cast<DWORD>(pen.width), &brush, 0, nullptr));
    return GdiObject(ExtCreatePen(shape | PS_USERSTYLE, static_cast<DWORD>(pen.width), &brush,
                                  static_cast<DWORD>(dashes.size()), dashes.data()));
}

GdiObject makeBrush(const Brush& brush) {
    // A stock object: deleting it is harmless and does nothing.
    if (brush.hollow) return GdiObject(GetStockObject(NULL_BRUSH));
    return GdiObject(CreateSolidBrush(brush.color));
}

}  // namespace

struct DeviceContext::Impl {
    int width = 0;
    int height = 0;
    UniqueDc dc;
    GdiObject bitmap;
    HGDIOBJ originalBitmap = nullptr;
    uint8_t* bits = nullptr;

    Pen pen;
    Brush brush;
    int currentX = 0;
    int currentY = 0;
    BackgroundMode backgroundMode = BackgroundMode::Opaque;
    Colorref backgroundColor = kWhite;
    // Where GDI has drawn since the memory was last handed out: GDI leaves
    // the unused fourth byte of what it draws 0, where the surface's own
    // writes (and the other system's surface) set it to 255.
    RECT drawn{0, 0, 0, 0};

    ~Impl() {
        if (dc && originalBitmap != nullptr) SelectObject(dc.get(), originalBitmap);
    }

    PixelTarget target() { return PixelTarget{bits, width, height, width * 4}; }

    void noteDrawn(int64_t left, int64_t top, int64_t right, int64_t bottom) {
        const RECT box{static_cast<LONG>(std::clamp<int64_t>(left, 0, width)),
                       static_cast<LONG>(std::clamp<int64_t>(top, 0, height)),
                       static_cast<LONG>(std::clamp<int64_t>(right, 0, width)),
                       static_cast<LONG>(std::clamp<int64_t>(bottom, 0, height))};
        if (box.left >= box.right || box.top >= box.bottom) return;
        if (drawn.left >= drawn.right) {
            drawn = box;
        } else {
            UnionRect(&drawn, &drawn, &box);
        }
    }

    // Finishes GDI's work and evens out the fourth byte, before the memory
    // is read or written directly.
    void settle() {
        GdiFlush();
        for (LONG y = drawn.top; y < drawn.bottom; ++y) {
            uint8_t* row = bits + static_cast<size_t>(y) * width * 4;
            for (LONG x = drawn.left; x < drawn.right; ++x) row[x * 4 + 3] = 0xFF;
        }
        drawn = RECT{0, 0, 0, 0};
    }

    // Runs draw() with the pen, brush and background selected into the
    // device context, and puts the context's own objects back afterwards.
    template <typename Draw>
    void withPenAndBrush(Draw&& draw) {
        GdiObject gdiPen = makePen(pen);
        GdiObject gdiBrush = makeBrush(brush);
        if (!gdiPen || !gdiBrush) return;
        HDC h = dc.get();
        SelectedObject penScope(h, gdiPen.get());
        SelectedObject brushScope(h, gdiBrush.get());
        SetBkMode(h, backgroundMode == BackgroundMode::Opaque ? OPAQUE : TRANSPARENT);
        SetBkColor(h, backgroundColor);
        draw(h);
    }

    // A box outline. GDI traces a 1-dot outline on the edge pixels of
    // l..r-1, t..b-1, as the surface's rule wants, but centres a wider pen
    // on those pixels rather than on the box's boundary lines: its box is
    // widened by one dot at the right and bottom for an even width, and at
    // the left and top for an odd one. rx, ry are the radii of the corners
    // (half the box for an ellipse), for a shape that is cut.
    template <typename Shape>
    void drawBox(int left, int top, int right, int bottom, double rx, double ry, Shape&& shape) {
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        if (int64_t{right} - left < 1 || int64_t{bottom} - top < 1) return;
        int64_t l = left, t = top, r = right, b = bottom;
        if (pen.geometric && pen.width % 2 == 0) {
            ++r;
            ++b;
        } else if (pen.geometric) {
            --l;
            --t;
        }
        const int64_t reach = pen.width + 1;
        const int64_t margin = nearMargin();
        if (l - reach < -margin || t - reach < -margin || r + reach > width + margin || b + reach > height + margin) {
            drawCutOutline(roundedBoxOutline(double(l), double(t), double(r), double(b), rx, ry), reach);
            return;
        }
        withPenAndBrush([&](HDC h) { shape(h, int(l), int(t), int(r), int(b)); });
        noteDrawn(l - reach, t - reach, r + reach, b + reach);
    }

    // How far beyond the surface a shape or line may reach and still be
    // drawn as it is: the surface's own size, so that what GDI strokes off
    // the surface follows the surface, within GDI's range.
    int64_t nearMargin() const {
        return std::min<int64_t>(kMargin, std::max<int64_t>({width, height, int64_t{pen.width} + 1}));
    }

    // The dash period GDI strokes with, in dots; 0 for a solid pen.
    int64_t dashPeriod() const {
        int64_t period = 0;
        if (pen.geometric) {
            for (int length : pen.pattern) period += std::max(length, 0);
        } else {
            for (double length : cosmeticPattern(pen.cosmeticStyle)) period += static_cast<int64_t>(length);
        }
        return period;
    }

    // A shape reaching beyond the margin: only what comes near the surface
    // is filled and stroked (see portable/clip_segment.h). GDI starts a dash
    // pattern where a path starts, so each stretch is drawn from a whole
    // number of periods along the outline, the little before it included.
    void drawCutOutline(const std::vector<OutlinePiece>& outline, int64_t reach) {
        const double edge = static_cast<double>(reach + 1);
        const ClipWindow window{-edge, -edge, width + edge, height + edge};
        const auto toPoint = [](const PathPoint& p) {
            return POINT{static_cast<LONG>(std::lround(p.x)), static_cast<LONG>(std::lround(p.y))};
        };
        HDC h = dc.get();
        if (!brush.hollow) {
            std::vector<POINT> points;
            for (const PathPoint& p : visibleRegion(outline, window)) points.push_back(toPoint(p));
            GdiObject gdiBrush = makeBrush(brush);
            if (points.size() >= 3 && gdiBrush) {
                SelectedObject penScope(h, GetStockObject(NULL_PEN));
                SelectedObject brushScope(h, gdiBrush.get());
                SetPolyFillMode(h, WINDING);
                Polygon(h, points.data(), static_cast<int>(points.size()));
            }
        }
        const int64_t period = dashPeriod();
        for (const VisibleRun& run : visibleRuns(outline, window)) {
            std::vector<OutlinePiece> pieces;
            const double back = period > 0 && period <= kMargin ? std::fmod(run.startLength, double(period)) : 0;
            if (back > 0) pieces = outlineStretch(outline, run.startLength - back, run.startLength);
            pieces.insert(pieces.end(), run.pieces.begin(), run.pieces.end());
            std::vector<POINT> points{toPoint(pieces.front().p[0])};
            for (const OutlinePiece& piece : pieces) {
                // A straight piece is a curve whose control points are its ends.
                points.push_back(toPoint(piece.p[piece.curve ? 1 : 0]));
                points.push_back(toPoint(piece.p[piece.curve ? 2 : 3]));
                points.push_back(toPoint(piece.p[3]));
            }
            withPenAndBrush([&](HDC dcHandle) {
                PolyBezier(dcHandle, points.data(), static_cast<DWORD>(points.size()));
            });
        }
        noteDrawn(-reach, -reach, int64_t{width} + reach, int64_t{height} + reach);
    }
};

DeviceContext::DeviceContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceContext::~DeviceContext() = default;

std::unique_ptr<DeviceContext> DeviceContext::create(int width, int height) {
    // The DIB section is made anew for every label and released with it:
    // Windows keeps no surface memory between calls.
    if (!surfaceSizeAllowed(width, height)) return nullptr;
    try {
        auto impl = std::make_unique<Impl>();
        impl->width = width;
        impl->height = height;
        impl->dc.reset(CreateCompatibleDC(nullptr));
        if (!impl->dc) return nullptr;
        void* bits = nullptr;
        impl->bitmap = createTopDownDib(impl->dc.get(), width, height, &bits);
        if (!impl->bitmap || bits == nullptr) return nullptr;
        impl->bits = static_cast<uint8_t*>(bits);
        impl->originalBitmap = SelectObject(impl->dc.get(), impl->bitmap.get());
        if (impl->originalBitmap == nullptr || impl->originalBitmap == HGDI_ERROR) return nullptr;
        std::unique_ptr<DeviceContext> dc(new DeviceContext(std::move(impl)));
        dc->fillRect(0, 0, width, height, kWhite);
        return dc;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int DeviceContext::width() const { return impl_->width; }
int DeviceContext::height() const { return impl_->height; }
int DeviceContext::stride() const { return impl_->width * 4; }

const uint8_t* DeviceContext::pixels() const {
    impl_->settle();
    return impl_->bits;
}

uint8_t* DeviceContext::mutablePixels() {
    impl_->settle();
    return impl_->bits;
}

void* DeviceContext::handPixelsToHost() {
    // The DIB section's memory is GDI's own: the host gets a copy.
    const size_t bytes = static_cast<size_t>(stride()) * static_cast<size_t>(impl_->height);
    const MappedBlock block = surfacePool().take(bytes);
    if (block.data == nullptr) return nullptr;
    std::memcpy(block.data, pixels(), bytes);
    return handToHost(block);
}

void DeviceContext::fillRect(int left, int top, int right, int bottom, Colorref color) {
    impl_->settle();
    fillBox(impl_->target(), left, top, right, bottom, color);
}

Pen DeviceContext::selectPen(const Pen& pen) { return std::exchange(impl_->pen, pen); }
Brush DeviceContext::selectBrush(const Brush& brush) { return std::exchange(impl_->brush, brush); }
const Pen& DeviceContext::pen() const { return impl_->pen; }
const Brush& DeviceContext::brush() const { return impl_->brush; }

void DeviceContext::rectangle(int left, int top, int right, int bottom) {
    impl_->drawBox(left, top, right, bottom, 0, 0,
                   [](HDC h, int l, int t, int r, int b) { Rectangle(h, l, t, r, b); });
}

void DeviceContext::roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
    const double rx = std::abs(static_cast<double>(cornerWidth)) / 2;
    const double ry = std::abs(static_cast<double>(cornerHeight)) / 2;
    impl_->drawBox(left, top, right, bottom, rx, ry, [&](HDC h, int l, int t, int r, int b) {
        RoundRect(h, l, t, r, b, std::min(std::abs(cornerWidth), r - l), std::min(std::abs(cornerHeight), b - t));
    });
}

void DeviceContext::ellipse(int left, int top, int right, int bottom) {
    const double rx = std::abs(static_cast<double>(right) - left) / 2;
    const double ry = std::abs(static_cast<double>(bottom) - top) / 2;
    impl_->drawBox(left, top, right, bottom, rx, ry,
                   [](HDC h, int l, int t, int r, int b) { Ellipse(h, l, t, r, b); });
}

void DeviceContext::moveTo(int x, int y) {
    impl_->currentX = x;
    impl_->currentY = y;
}

void DeviceContext::lineTo(int x, int y) {
    Impl& d = *impl_;
    const int x1 = std::exchange(d.currentX, x);
    const int y1 = std::exchange(d.currentY, y);
    if (!d.pen.geometric) {
        // Stepped by the surfaces' one rule for 1-dot lines, which picks the
        // nearer pixel at a tie the same way on every system.
        d.settle();
        drawOneDotLine(d.target(), x1, y1, x, y, d.pen.cosmeticStyle, d.pen.color,
                       d.backgroundMode == BackgroundMode::Opaque, d.backgroundColor);
        return;
    }
    double ax = x1, ay = y1, bx = x, by = y;
    const double margin = static_cast<double>(d.nearMargin());
    double cut = 0;
    if (!clipSegment(ax, ay, bx, by, ClipWindow{-margin, -margin, d.width + margin, d.height + margin}, &cut)) return;
    // GDI starts the dash pattern where the line starts: the cut line starts
    // a whole number of periods from the true start, so the dashes stay put
    // (a period beyond the margin would leave GDI's range; none is that long).
    int64_t period = 0;
    for (int length : d.pen.pattern) period += length;
    if (cut > 0 && period > 0 && period <= kMargin) {
        const double dx = static_cast<double>(x) - x1;
        const double dy = static_cast<double>(y) - y1;
        const double length = std::hypot(dx, dy);
        const double back = std::fmod(cut * length, static_cast<double>(period)) / length;
        ax -= back * dx;
        ay -= back * dy;
    }
    const int fromX = static_cast<int>(std::lround(ax));
    const int fromY = static_cast<int>(std::lround(ay));
    const int toX = static_cast<int>(std::lround(bx));
    const int toY = static_cast<int>(std::lround(by));
    d.withPenAndBrush([&](HDC h) {
        MoveToEx(h, fromX, fromY, nullptr);
        LineTo(h, toX, toY);
    });
    const int64_t reach = d.pen.width + 1;
    d.noteDrawn(int64_t{std::min(fromX, toX)} - reach, int64_t{std::min(fromY, toY)} - reach,
                int64_t{std::max(fromX, toX)} + reach + 1, int64_t{std::max(fromY, toY)} + reach + 1);
}

BackgroundMode DeviceContext::setBackgroundMode(BackgroundMode mode) { return std::exchange(impl_->backgroundMode, mode); }
BackgroundMode DeviceContext::backgroundMode() const { return impl_->backgroundMode; }
Colorref DeviceContext::setBackgroundColor(Colorref color) { return std::exchange(impl_->backgroundColor, color); }
Colorref DeviceContext::backgroundColor() const { return impl_->backgroundColor; }

void DeviceContext::setPixels(int x, int y, const PixelBlock& block) {
    impl_->settle();
    copyBlock(impl_->target(), x, y, block);
}

void DeviceContext::stretchPixels(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                                  int srcHeight, const PixelBlock& block) {
    impl_->settle();
    stretchBlock(impl_->target(), x, y, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight, block);
}

}  // namespace mk::platform
