#include "portable/pixel_copy.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace mk::platform {
namespace {

// A run of source pixels onto the target; masked, a pixel of alpha 0 leaves
// the target's pixel as it was. Written without branches so that the
// compiler makes vector code of it.
void copyRun(uint8_t* dst, const uint8_t* src, size_t count, bool alphaMasked) {
    if (!alphaMasked) {
        std::memcpy(dst, src, count * 4);
        return;
    }
    for (size_t c = 0; c < count; ++c) {
        uint32_t pixel, under;
        std::memcpy(&pixel, src + 4 * c, 4);
        std::memcpy(&under, dst + 4 * c, 4);
        const uint32_t result = (pixel >> 24) == 0 ? under : pixel;
        std::memcpy(dst + 4 * c, &result, 4);
    }
}

// At namespace scope: the library keeps no function-local statics that
// need a guard (see cmake/mingw-w64-x86_64.cmake).
const std::vector<double> kSolid;
const std::vector<double> kDash{18, 6};
const std::vector<double> kDot{3, 3};
const std::vector<double> kDashDot{9, 6, 3, 6};
const std::vector<double> kDashDotDot{9, 3, 3, 3, 3, 3};

}  // namespace

StretchAxis stretchAxis(int origin, int destSize, int srcStart, int srcSize, int surfaceSize) {
    StretchAxis axis;
    const bool mirror = destSize < 0;
    const int64_t size = std::abs(int64_t{destSize});
    const int64_t start = mirror ? int64_t{origin} - size + 1 : origin;
    const int64_t from = std::max<int64_t>(start, 0);
    const int64_t to = std::min<int64_t>(start + size, surfaceSize);
    axis.first = from;
    if (to > from) axis.source.reserve(static_cast<size_t>(to - from));
    for (int64_t d = from; d < to; ++d) {
        const int64_t i = mirror ? size - 1 - (d - start) : d - start;
        axis.source.push_back(srcStart + (2 * i + 1) * srcSize / (2 * size));
    }
    return axis;
}

const std::vector<double>& cosmeticPattern(CosmeticStyle style) {
    switch (style) {
        case CosmeticStyle::Dash:
            return kDash;
        case CosmeticStyle::Dot:
            return kDot;
        case CosmeticStyle::DashDot:
            return kDashDot;
        case CosmeticStyle::DashDotDot:
            return kDashDotDot;
        case CosmeticStyle::Solid:
            break;
    }
    return kSolid;
}

// 1-dot lines are stepped pixel by pixel along their major axis, as the
// platform's lines are: a line of n steps is n pixels, its end point
// excluded, and dashes count pixels.
void drawOneDotLine(const PixelTarget& target, int x1, int y1, int x2, int y2, CosmeticStyle style, Colorref color,
                    bool paintGaps, Colorref gapColor) {
    int64_t dx = int64_t{x2} - x1;
    int64_t dy = int64_t{y2} - y1;
    int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0) return;
    bool xMajor = std::abs(dx) >= std::abs(dy);
    int64_t majorStart = xMajor ? x1 : y1;
    int64_t minorStart = xMajor ? y1 : x1;
    int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    int64_t minorDelta = xMajor ? dy : dx;
    int64_t majorSize = xMajor ? target.width : target.height;
    int64_t minorSize = xMajor ? target.height : target.width;
    // Only the steps whose major coordinate lies on the surface.
    int64_t first = majorStep > 0 ? -majorStart : majorStart - (majorSize - 1);
    int64_t last = majorStep > 0 ? majorSize - 1 - majorStart : majorStart;
    first = std::max<int64_t>(first, 0);
    last = std::min(last, steps - 1);
    if (first > last) return;

    const auto& dashes = cosmeticPattern(style);
    int period = 0;
    for (double length : dashes) period += static_cast<int>(length);
    paintGaps = paintGaps && !dashes.empty();
    uint32_t ink = pixelValue(color);
    uint32_t gap = pixelValue(gapColor);

    for (int64_t k = first; k <= last; ++k) {
        // The minor coordinate rounded half up from the exact line; 128
        // bits because k and the delta may each use 32.
        __int128 scaled = static_cast<__int128>(2 * k) * minorDelta + steps;
        __int128 offset = scaled >= 0 ? scaled / (2 * steps) : -((-scaled + 2 * steps - 1) / (2 * steps));
        int64_t minor = minorStart + static_cast<int64_t>(offset);
        if (minor < 0 || minor >= minorSize) continue;
        bool on = true;
        if (period > 0) {
            int phase = static_cast<int>(k % period);
            for (size_t i = 0; i < dashes.size(); ++i) {
                phase -= static_cast<int>(dashes[i]);
                if (phase < 0) {
                    on = i % 2 == 0;
                    break;
                }
            }
        }
        if (!on && !paintGaps) continue;
        int64_t major = majorStart + k * majorStep;
        int px = static_cast<int>(xMajor ? major : minor);
        int py = static_cast<int>(xMajor ? minor : major);
        reinterpret_cast<uint32_t*>(target.pixels + static_cast<size_t>(py) * target.stride)[px] = on ? ink : gap;
    }
}

uint32_t pixelValue(Colorref color) {
    // Little-endian memory order blue, green, red, unused.
    return 0xFF000000u | ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

void fillBox(const PixelTarget& target, int left, int top, int right, int bottom, Colorref color) {
    const int l = std::max(left, 0);
    const int t = std::max(top, 0);
    const int r = std::min(right, target.width);
    const int b = std::min(bottom, target.height);
    if (l >= r || t >= b) return;
    const uint32_t value = pixelValue(color);
    const auto byte = static_cast<uint8_t>(value);
    const size_t bytes = static_cast<size_t>(r - l) * 4;
    uint8_t* first = target.pixels + static_cast<size_t>(t) * target.stride + static_cast<size_t>(l) * 4;
    if (value == 0x01010101u * byte) {
        // White, the background of every label, and black: every byte alike.
        if (bytes == static_cast<size_t>(target.stride)) {
            std::memset(first, byte, bytes * static_cast<size_t>(b - t));
            return;
        }
        for (int y = t; y < b; ++y) std::memset(first + static_cast<size_t>(y - t) * target.stride, byte, bytes);
        return;
    }
    for (int y = t; y < b; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(target.pixels + static_cast<size_t>(y) * target.stride);
        std::fill(row + l, row + r, value);
    }
}

void copyBlock(const PixelTarget& target, int x, int y, const PixelBlock& block) {
    if (block.pixels == nullptr || block.width < 1 || block.height < 1 ||
        int64_t{block.stride} < int64_t{block.width} * 4)
        return;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + block.width, target.width);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + block.height, target.height);
    if (left >= right || top >= bottom) return;
    for (int64_t dy = top; dy < bottom; ++dy) {
        const uint8_t* src = block.pixels + (dy - y) * block.stride + (left - x) * 4;
        uint8_t* dst = target.pixels + static_cast<size_t>(dy) * target.stride + static_cast<size_t>(left) * 4;
        copyRun(dst, src, static_cast<size_t>(right - left), block.alphaMasked);
    }
}

void stretchBlock(const PixelTarget& target, int x, int y, int destWidth, int destHeight, int srcX, int srcY,
                  int srcWidth, int srcHeight, const PixelBlock& block) {
    if (block.pixels == nullptr || block.width < 1 || block.height < 1 ||
        int64_t{block.stride} < int64_t{block.width} * 4)
        return;
    if (destWidth == 0 || destHeight == 0 || srcWidth <= 0 || srcHeight <= 0) return;
    const StretchAxis columns = stretchAxis(x, destWidth, srcX, srcWidth, target.width);
    const StretchAxis rows = stretchAxis(y, destHeight, srcY, srcHeight, target.height);
    if (columns.source.empty() || rows.source.empty()) return;
    // The source columns step monotonically, so those inside the block are
    // one range of destination columns.
    const auto inside = [&block](int64_t sx) { return sx >= 0 && sx < block.width; };
    size_t from = 0;
    size_t to = columns.source.size();
    while (from < to && !inside(columns.source[from])) ++from;
    while (to > from && !inside(columns.source[to - 1])) --to;
    if (from == to) return;
    // Unscaled and unmirrored across, a row is one run of source pixels. A
    // scaled row samples the source monotonically in steps of at most one
    // pixel when enlarging and at least one when reducing, so columns whose
    // ends lie count - 1 pixels apart are unscaled.
    const int64_t firstColumn = columns.source[from];
    const bool straight = columns.source[to - 1] == firstColumn + static_cast<int64_t>(to - from) - 1;
    for (size_t r = 0; r < rows.source.size(); ++r) {
        const int64_t sy = rows.source[r];
        if (sy < 0 || sy >= block.height) continue;
        const uint8_t* src = block.pixels + sy * block.stride;
        const int64_t dy = rows.first + static_cast<int64_t>(r);
        uint8_t* dst = target.pixels + static_cast<size_t>(dy) * target.stride + static_cast<size_t>(columns.first) * 4;
        if (straight) {
            copyRun(dst + from * 4, src + firstColumn * 4, to - from, block.alphaMasked);
            continue;
        }
        for (size_t c = from; c < to; ++c) {
            const uint8_t* pixel = src + columns.source[c] * 4;
            if (block.alphaMasked && pixel[3] == 0) continue;
            std::memcpy(dst + c * 4, pixel, 4);
        }
    }
}

}  // namespace mk::platform
