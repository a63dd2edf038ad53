// The drawing surface on cairo. Fills and block copies write the memory
// directly; strokes and curved shapes go through cairo without antialiasing.
#include "platform/device_context.h"

#include "portable/host_blocks.h"
#include "portable/clip_segment.h"
#include "portable/pixel_copy.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace mk::platform {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// cairo refuses image surfaces beyond 32767 pixels a side; larger surfaces
// are split into tiles that share the one block of memory.
constexpr int kMaxSide = 32767;

// cairo keeps coordinates in 24.8 fixed point, which wraps beyond about 8.3
// million; geometry never reaches further than this round each tile.
constexpr double kMargin = 1 << 20;

ClipWindow widened(const ClipWindow& box, double by) {
    by = std::min(by, kMargin);
    return ClipWindow{box.left - by, box.top - by, box.right + by, box.bottom + by};
}

// Shapes and lines within the size of the tile round it are stroked whole,
// as they are given; what reaches further is cut to the tile first (see
// portable/clip_segment.h), so that the work follows what is drawn.
ClipWindow nearWindow(const ClipWindow& tile, double reach) {
    return widened(tile, std::max({tile.right - tile.left, tile.bottom - tile.top, reach}));
}

// Without antialiasing a pixel is drawn when its centre lies inside the
// shape. Shapes are moved up and left by this much so that an edge running
// exactly through pixel centres includes the pixels on one side only.
constexpr double kTieBreak = 1.0 / 64.0;

// A geometric pattern as cairo strokes it: round caps add half the width at
// each end of every dash, so the dashes are shortened by the width (to a dot
// at least) and the gaps lengthened to keep the period. Returns empty for a
// solid pen or a pattern that describes no dashes.
std::vector<double> geometricPattern(const Pen& pen) {
    std::vector<double> dashes;
    double total = 0;
    for (int length : pen.pattern) {
        if (length < 0) return {};
        total += length;
    }
    if (pen.pattern.empty() || total <= 0) return {};
    for (size_t i = 0; i < pen.pattern.size(); i += 2) {
        double on = pen.pattern[i];
        double off = i + 1 < pen.pattern.size() ? pen.pattern[i + 1] : 0.0;
        // cairo drops some zero-length dashes; a sliver keeps them as dots.
        double shown = std::max(on - pen.width, 1.0 / 64);
        dashes.push_back(shown);
        dashes.push_back(on + off - shown);
    }
    return dashes;
}

double withinPeriod(const std::vector<double>& dashes, double offset) {
    double period = 0;
    for (double length : dashes) period += length;
    return period > 0 && offset >= period ? std::fmod(offset, period) : offset;
}

void setSource(cairo_t* cr, Colorref color) {
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0);
}

double clampTo(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

// A box with corners rounded by quarter ellipses of radii rx, ry (clamped to
// half the box); a box with rx = half its width and ry = half its height is
// an ellipse.
void appendRoundedBox(cairo_t* cr, double l, double t, double r, double b, double rx, double ry) {
    rx = clampTo(rx, 0, (r - l) / 2);
    ry = clampTo(ry, 0, (b - t) / 2);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, l, t, r - l, b - t);
        return;
    }
    // Control-point distance of a cubic approximating a quarter circle.
    constexpr double k = 0.5522847498;
    double kx = k * rx;
    double ky = k * ry;
    cairo_move_to(cr, l + rx, t);
    cairo_line_to(cr, r - rx, t);
    cairo_curve_to(cr, r - rx + kx, t, r, t + ry - ky, r, t + ry);
    cairo_line_to(cr, r, b - ry);
    cairo_curve_to(cr, r, b - ry + ky, r - rx + kx, b, r - rx, b);
    cairo_line_to(cr, l + rx, b);
    cairo_curve_to(cr, l + rx - kx, b, l, b - ry + ky, l, b - ry);
    cairo_line_to(cr, l, t + ry);
    cairo_curve_to(cr, l, t + ry - ky, l + rx - kx, t, l + rx, t);
    cairo_close_path(cr);
}

}  // namespace

struct DeviceContext::Impl {
    struct Tile {
        int left = 0;
        int top = 0;
        int columns = 0;
        int rows = 0;
        SurfacePtr surface;
        ContextPtr cr;
    };

    // The surface's memory, from the pool and back to it at the end, unless
    // it was handed to the host.
    struct Memory {
        MappedBlock block;
        Memory() = default;
        Memory(const Memory&) = delete;
        Memory& operator=(const Memory&) = delete;
        ~Memory() { surfacePool().give(block); }
        uint8_t* get() const { return block.data; }
    };

    int width = 0;
    int height = 0;
    Memory memory;
    // Declared after the memory so that cairo lets go of it first.
    std::vector<Tile> tiles;

    Pen pen;
    Brush brush;
    int currentX = 0;
    int currentY = 0;
    BackgroundMode backgroundMode = BackgroundMode::Opaque;
    Colorref backgroundColor = kWhite;

    size_t stride() const { return static_cast<size_t>(width) * 4; }
    uint32_t* row(int y) { return reinterpret_cast<uint32_t*>(memory.get() + static_cast<size_t>(y) * stride()); }

    // Finishes cairo's work before the memory is read or written directly.
    void flush() {
        for (auto& tile : tiles) cairo_surface_flush(tile.surface.get());
    }
    // Tells cairo the memory was written behind its back.
    void markDirty() {
        for (auto& tile : tiles) cairo_surface_mark_dirty(tile.surface.get());
    }

    // Runs draw(cr, tileBox) on every tile that the area (left, top, right,
    // bottom) touches, with the tile's context mapped so that the caller
    // draws in surface coordinates; tileBox is the tile's own part of the
    // surface.
    template <typename Draw>
    void onTiles(const ClipWindow& area, Draw&& draw) {
        for (auto& tile : tiles) {
            if (area.bottom < tile.top || area.top >= tile.top + tile.rows || area.right < tile.left ||
                area.left >= tile.left + tile.columns)
                continue;
            cairo_t* cr = tile.cr.get();
            cairo_save(cr);
            cairo_translate(cr, -tile.left, -tile.top);
            cairo_new_path(cr);
            draw(cr, ClipWindow{double(tile.left), double(tile.top), double(tile.left) + tile.columns,
                                double(tile.top) + tile.rows});
            cairo_new_path(cr);
            cairo_restore(cr);
        }
    }

    // The pen's stroke settings; a styled 1-dot pen on an opaque background
    // is stroked twice, its gaps first. dashOffset is how far along the
    // outline the path starts; cairo counts it off dash by dash, so it is
    // brought within one period first.
    void strokePath(cairo_t* cr, double dashOffset) {
        if (!pen.geometric) {
            cairo_set_line_width(cr, 1.0);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
            const auto& dashes = cosmeticPattern(pen.cosmeticStyle);
            if (!dashes.empty() && backgroundMode == BackgroundMode::Opaque) {
                setSource(cr, backgroundColor);
                cairo_set_dash(cr, nullptr, 0, 0);
                cairo_stroke_preserve(cr);
            }
            cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), withinPeriod(dashes, dashOffset));
        } else {
            cairo_set_line_width(cr, pen.width);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            auto dashes = geometricPattern(pen);
            cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), withinPeriod(dashes, dashOffset));
        }
        setSource(cr, pen.color);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }

    void cosmeticLine(int x1, int y1, int x2, int y2) {
        flush();
        drawOneDotLine(PixelTarget{memory.get(), width, height, static_cast<int>(stride())}, x1, y1, x2, y2,
                       pen.cosmeticStyle, pen.color, backgroundMode == BackgroundMode::Opaque, backgroundColor);
        markDirty();
    }

    // Wider lines are cairo strokes with round caps, centred on the pixels
    // (odd widths) or on their top-left corners (even widths) so that no
    // edge of the stroke runs through pixel centres.
    void geometricLine(int fromX, int fromY, int toX, int toY) {
        double offset = pen.width % 2 == 1 ? 0.5 : 0.0;
        double x1 = fromX + offset - kTieBreak;
        double y1 = fromY + offset - kTieBreak;
        double x2 = toX + offset - kTieBreak;
        double y2 = toY + offset - kTieBreak;
        double reach = pen.width / 2.0 + 1;
        ClipWindow area{std::min(x1, x2) - reach, std::min(y1, y2) - reach, std::max(x1, x2) + reach,
                    std::max(y1, y2) + reach};
        onTiles(area, [&](cairo_t* cr, const ClipWindow& tileBox) {
            double ax = x1, ay = y1, bx = x2, by = y2, t0 = 0;
            if (!clipSegment(ax, ay, bx, by, nearWindow(tileBox, reach), &t0)) return;
            cairo_move_to(cr, ax, ay);
            cairo_line_to(cr, bx, by);
            // Keeps the dash phase of a line cut at the window's edge.
            strokePath(cr, t0 * std::hypot(x2 - x1, y2 - y1));
        });
    }

    // A box outline: a 1-dot pen traces the edge pixels (their centres), a
    // wider one is centred on the boundary lines. rx, ry round the corners.
    void drawBox(int left, int top, int right, int bottom, double rx, double ry) {
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        if (int64_t{right} - left < 1 || int64_t{bottom} - top < 1) return;
        double reach = pen.geometric ? pen.width / 2.0 + 1 : 1;
        ClipWindow area{left - reach, top - reach, right + reach, bottom + reach};
        onTiles(area, [&](cairo_t* cr, const ClipWindow& tileBox) {
            // A 1-dot outline's band is exactly one pixel wide between
            // integer coordinates and never meets a pixel centre; a wider
            // odd pen on the boundary lines has both band edges on pixel
            // centres and is moved to keep the left and top ones only.
            double inset = pen.geometric ? 0.0 : 0.5;
            double shift = pen.geometric ? kTieBreak : 0.0;
            double l = left + inset - shift;
            double t = top + inset - shift;
            double r = right - inset - shift;
            double b = bottom - inset - shift;
            double cornerX = std::max(rx - inset, 0.0);
            double cornerY = std::max(ry - inset, 0.0);
            if (boxWithin(l - reach, t - reach, r + reach, b + reach, nearWindow(tileBox, reach))) {
                appendRoundedBox(cr, l, t, r, b, cornerX, cornerY);
                if (!brush.hollow) {
                    setSource(cr, brush.color);
                    cairo_fill_preserve(cr);
                }
                strokePath(cr, 0);
                return;
            }
            const ClipWindow window = widened(tileBox, reach + 1);
            const std::vector<OutlinePiece> outline = roundedBoxOutline(l, t, r, b, cornerX, cornerY);
            if (!brush.hollow) {
                const std::vector<PathPoint> region = visibleRegion(outline, window);
                for (const PathPoint& p : region) cairo_line_to(cr, p.x, p.y);
                cairo_close_path(cr);
                setSource(cr, brush.color);
                cairo_fill(cr);
            }
            for (const VisibleRun& run : visibleRuns(outline, window)) {
                cairo_new_path(cr);
                cairo_move_to(cr, run.pieces.front().p[0].x, run.pieces.front().p[0].y);
                for (const OutlinePiece& piece : run.pieces) {
                    if (piece.curve) {
                        cairo_curve_to(cr, piece.p[1].x, piece.p[1].y, piece.p[2].x, piece.p[2].y, piece.p[3].x,
                                       piece.p[3].y);
                    } else {
                        cairo_line_to(cr, piece.p[3].x, piece.p[3].y);
                    }
                }
                strokePath(cr, run.startLength);
            }
        });
    }
};

DeviceContext::DeviceContext(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DeviceContext::~DeviceContext() = default;

std::unique_ptr<DeviceContext> DeviceContext::create(int width, int height) {
    if (!surfaceSizeAllowed(width, height)) return nullptr;
    const int64_t bytes = int64_t{width} * height * 4;
    try {
        auto impl = std::make_unique<Impl>();
        impl->width = width;
        impl->height = height;
        impl->memory.block = surfacePool().take(static_cast<size_t>(bytes));
        if (impl->memory.get() == nullptr) return nullptr;
        // cairo accepts any stride that is a multiple of 4 and at least its
        // own for the tile's width; the whole surface's row is both.
        int stride = width * 4;
        for (int top = 0; top < height; top += kMaxSide) {
            for (int left = 0; left < width; left += kMaxSide) {
                Impl::Tile tile;
                tile.left = left;
                tile.top = top;
                tile.columns = std::min(kMaxSide, width - left);
                tile.rows = std::min(kMaxSide, height - top);
                uint8_t* origin = impl->memory.get() + static_cast<size_t>(top) * impl->stride() + size_t{4} * left;
                tile.surface.reset(
                    cairo_image_surface_create_for_data(origin, CAIRO_FORMAT_RGB24, tile.columns, tile.rows, stride));
                if (cairo_surface_status(tile.surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
                tile.cr.reset(cairo_create(tile.surface.get()));
                if (cairo_status(tile.cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
                cairo_set_antialias(tile.cr.get(), CAIRO_ANTIALIAS_NONE);
                impl->tiles.push_back(std::move(tile));
            }
        }
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
    impl_->flush();
    return impl_->memory.get();
}

uint8_t* DeviceContext::mutablePixels() {
    impl_->flush();
    impl_->markDirty();
    return impl_->memory.get();
}

void* DeviceContext::handPixelsToHost() {
    impl_->flush();
    // cairo lets go of the memory before the host takes it.
    impl_->tiles.clear();
    return handToHost(std::exchange(impl_->memory.block, MappedBlock{}));
}

void DeviceContext::fillRect(int left, int top, int right, int bottom, Colorref color) {
    impl_->flush();
    fillBox(PixelTarget{impl_->memory.get(), impl_->width, impl_->height, stride()}, left, top, right, bottom, color);
    impl_->markDirty();
}

Pen DeviceContext::selectPen(const Pen& pen) { return std::exchange(impl_->pen, pen); }
Brush DeviceContext::selectBrush(const Brush& brush) { return std::exchange(impl_->brush, brush); }
const Pen& DeviceContext::pen() const { return impl_->pen; }
const Brush& DeviceContext::brush() const { return impl_->brush; }

void DeviceContext::rectangle(int left, int top, int right, int bottom) {
    impl_->drawBox(left, top, right, bottom, 0, 0);
}

void DeviceContext::roundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
    impl_->drawBox(left, top, right, bottom, std::abs(static_cast<double>(cornerWidth)) / 2.0,
                   std::abs(static_cast<double>(cornerHeight)) / 2.0);
}

void DeviceContext::ellipse(int left, int top, int right, int bottom) {
    double rx = std::abs(static_cast<double>(right) - left) / 2.0;
    double ry = std::abs(static_cast<double>(bottom) - top) / 2.0;
    impl_->drawBox(left, top, right, bottom, rx, ry);
}

void DeviceContext::moveTo(int x, int y) {
    impl_->currentX = x;
    impl_->currentY = y;
}

void DeviceContext::lineTo(int x, int y) {
    Impl& d = *impl_;
    int x1 = std::exchange(d.currentX, x);
    int y1 = std::exchange(d.currentY, y);
    if (d.pen.geometric) {
        d.geometricLine(x1, y1, x, y);
    } else {
        d.cosmeticLine(x1, y1, x, y);
    }
}

BackgroundMode DeviceContext::setBackgroundMode(BackgroundMode mode) { return std::exchange(impl_->backgroundMode, mode); }
BackgroundMode DeviceContext::backgroundMode() const { return impl_->backgroundMode; }
Colorref DeviceContext::setBackgroundColor(Colorref color) { return std::exchange(impl_->backgroundColor, color); }
Colorref DeviceContext::backgroundColor() const { return impl_->backgroundColor; }

void DeviceContext::setPixels(int x, int y, const PixelBlock& block) {
    impl_->flush();
    copyBlock(PixelTarget{impl_->memory.get(), impl_->width, impl_->height, stride()}, x, y, block);
    impl_->markDirty();
}

void DeviceContext::stretchPixels(int x, int y, int destWidth, int destHeight, int srcX, int srcY, int srcWidth,
                                  int srcHeight, const PixelBlock& block) {
    impl_->flush();
    stretchBlock(PixelTarget{impl_->memory.get(), impl_->width, impl_->height, stride()}, x, y, destWidth, destHeight,
                 srcX, srcY, srcWidth, srcHeight, block);
    impl_->markDirty();
}

}  // namespace mk::platform
