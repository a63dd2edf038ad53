#include "render/shape_object.h"

#include <algorithm>
#include <cmath>

#include "portable/clip_segment.h"
#include "portable/pixel_copy.h"

#include "render/units.h"

namespace mk {

namespace {

using platform::CosmeticStyle;
using platform::Pen;

struct DashStyle {
    CosmeticStyle thin;
    // Dash, gap, dash, gap... in multiples of the width; empty: solid.
    std::vector<int> thickPattern;
};

// Indexed by lineDashStyle.
const DashStyle kDashStyles[] = {
    {CosmeticStyle::Solid, {}},
    {CosmeticStyle::Dash, {4, 2}},
    {CosmeticStyle::DashDot, {4, 2, 1, 2}},
    {CosmeticStyle::DashDotDot, {4, 2, 1, 2, 1, 2}},
    {CosmeticStyle::Dot, {1, 2}},
};
const DashStyle kUnknownStyle{CosmeticStyle::Dot, {}};

// The two ends of a line or the corners of a shape, and the pen width, in dots.
struct Geometry {
    int x1, y1, x2, y2, width;
};

Geometry geometryOf(const LabelObject& object, int dpi) {
    return Geometry{mmToDots(object.startXposition, dpi), mmToDots(object.startYposition, dpi),
                    mmToDots(object.endXposition, dpi), mmToDots(object.endYposition, dpi),
                    std::max(mmToDots(object.lineWidth, dpi), 1)};
}

// Stroking costs the drawing library about 5 ns a dot of length and, for a
// dashed pen, about half a microsecond a dash, besides the pixels it writes.
constexpr double kDotsOfLengthPerCost = 16;
constexpr double kCostPerDash = 2;

// The length of the pen's dash pattern in dots; 0 for a solid pen.
double dashPeriod(const Pen& pen) {
    double period = 0;
    if (pen.geometric) {
        for (int length : pen.pattern) period += std::max(length, 0);
    } else {
        for (double length : platform::cosmeticPattern(pen.cosmeticStyle)) period += length;
    }
    return period;
}

// What stroking a length of outline or line on the surface may cost.
double strokeCost(double length, const Pen& pen, double surfacePixels) {
    const double period = dashPeriod(pen);
    return std::min(length * (pen.width + 1), surfacePixels) / kPixelsPerDrawCost + length / kDotsOfLengthPerCost +
           (period > 0 ? length / period * kCostPerDash : 0);
}

// What drawing a shape may cost: stroking what the surface strokes of its
// outline (see portable/clip_segment.h) and, filled, the pixels of its box
// on the surface. rx, ry are its corners' radii.
int64_t shapeCost(const platform::DeviceContext& dc, const Geometry& g, const Pen& pen, bool filled, double rx,
                  double ry) {
    const double reach = g.width / 2.0 + 1;
    const double surface = double(dc.width()) * dc.height();
    const double left = std::min<double>(g.x1, g.x2);
    const double right = std::max<double>(g.x1, g.x2);
    const double top = std::min<double>(g.y1, g.y2);
    const double bottom = std::max<double>(g.y1, g.y2);
    // The surfaces stroke a shape whole when it lies within their own size
    // round them, and cut it to them beyond that.
    const double near = std::max({double(dc.width()), double(dc.height()), reach});
    const platform::ClipWindow window{-near, -near, dc.width() + near, dc.height() + near};
    double length = 0;
    for (const platform::VisibleRun& run :
         platform::visibleRuns(platform::roundedBoxOutline(left, top, right, bottom, rx, ry), window)) {
        for (const platform::OutlinePiece& piece : run.pieces) length += platform::pieceLength(piece);
    }
    double inside = 0;
    if (filled) {
        const double w = std::clamp(right, 0.0, double(dc.width())) - std::clamp(left, 0.0, double(dc.width()));
        const double h = std::clamp(bottom, 0.0, double(dc.height())) - std::clamp(top, 0.0, double(dc.height()));
        inside = w * h / kPixelsPerDrawCost;
    }
    return 1 + static_cast<int64_t>(strokeCost(length, pen, surface) + inside);
}

int64_t lineCost(const platform::DeviceContext& dc, const Geometry& g, const Pen& pen) {
    const double reach = g.width / 2.0 + 1;
    double x1 = g.x1, y1 = g.y1, x2 = g.x2, y2 = g.y2;
    const platform::ClipWindow window{-reach, -reach, dc.width() + reach, dc.height() + reach};
    if (!platform::clipSegment(x1, y1, x2, y2, window)) return 1;
    return 1 + static_cast<int64_t>(strokeCost(std::hypot(x2 - x1, y2 - y1), pen, double(dc.width()) * dc.height()));
}

}  // namespace

Pen createDashPen(int style, int width, platform::Colorref color) {
    const DashStyle& dash = style >= 0 && style < static_cast<int>(std::size(kDashStyles)) ? kDashStyles[style]
                                                                                           : kUnknownStyle;
    if (width <= 1) return Pen::cosmetic(dash.thin, color);
    if (dash.thickPattern.empty()) return Pen::solid(width, color);
    std::vector<int> pattern;
    for (int multiple : dash.thickPattern) pattern.push_back(multiple * width);
    return Pen::dashed(width, color, std::move(pattern));
}

void drawLineObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget) {
    Geometry g = geometryOf(object, dpi);
    Pen pen = createDashPen(object.lineDashStyle, g.width, rgbToColorref(object.lineColorArgb));
    if (budget.exceeded() || !budget.charge(lineCost(dc, g, pen))) return;
    Pen previous = dc.selectPen(pen);
    dc.moveTo(g.x1, g.y1);
    dc.lineTo(g.x2, g.y2);
    dc.selectPen(previous);
}

void drawShapeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget) {
    Geometry g = geometryOf(object, dpi);
    if (object.rectangleclass < 0 || object.rectangleclass > 2) return;
    platform::Colorref color = rgbToColorref(object.lineColorArgb);
    Pen pen = createDashPen(object.lineDashStyle, g.width, color);
    int left = std::min(g.x1, g.x2);
    int right = std::max(g.x1, g.x2);
    int top = std::min(g.y1, g.y2);
    int bottom = std::max(g.y1, g.y2);
    // The corner radius is the size of the whole rounding ellipse.
    const int corner = object.rectangleclass == 1 ? mmToDots(object.cornerRadius, dpi) : 0;
    const double rx = object.rectangleclass == 2 ? (double(right) - left) / 2 : std::abs(double(corner)) / 2;
    const double ry = object.rectangleclass == 2 ? (double(bottom) - top) / 2 : std::abs(double(corner)) / 2;
    if (budget.exceeded() || !budget.charge(shapeCost(dc, g, pen, object.fillRectangle, rx, ry))) return;
    Pen previousPen = dc.selectPen(pen);
    platform::Brush previousBrush =
        dc.selectBrush(object.fillRectangle ? platform::Brush::solid(color) : platform::Brush::hollowBrush());
    switch (object.rectangleclass) {
        case 0:
            dc.rectangle(left, top, right, bottom);
            break;
        case 1:
            dc.roundRect(left, top, right, bottom, corner, corner);
            break;
        case 2:
            dc.ellipse(left, top, right, bottom);
            break;
        default:
            break;
    }
    dc.selectBrush(previousBrush);
    dc.selectPen(previousPen);
}

}  // namespace mk
