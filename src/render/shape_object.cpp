#include "render/shape_object.h"

#include <algorithm>
#include <cmath>

#include "portable/clip_segment.h"

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

// What drawing a shape may cost: the pixels it can write, those of its
// outline (as long as the outline of its box on the surface, as wide as the
// pen) and, filled, those of its box on the surface. Never more than the
// surface holds, twice.
int64_t shapeCost(const platform::DeviceContext& dc, const Geometry& g, bool filled) {
    const double reach = g.width / 2.0 + 1;
    const double surface = double(dc.width()) * dc.height();
    const double l = std::clamp(std::min<double>(g.x1, g.x2) - reach, 0.0, double(dc.width()));
    const double r = std::clamp(std::max<double>(g.x1, g.x2) + reach, 0.0, double(dc.width()));
    const double t = std::clamp(std::min<double>(g.y1, g.y2) - reach, 0.0, double(dc.height()));
    const double b = std::clamp(std::max<double>(g.y1, g.y2) + reach, 0.0, double(dc.height()));
    const double outline = std::min(2 * ((r - l) + (b - t)) * (g.width + 1), surface);
    const double inside = filled ? (r - l) * (b - t) : 0;
    return 1 + static_cast<int64_t>((outline + inside) / kPixelsPerDrawCost);
}

int64_t lineCost(const platform::DeviceContext& dc, const Geometry& g) {
    const double reach = g.width / 2.0 + 1;
    double x1 = g.x1, y1 = g.y1, x2 = g.x2, y2 = g.y2;
    const platform::ClipWindow window{-reach, -reach, dc.width() + reach, dc.height() + reach};
    if (!platform::clipSegment(x1, y1, x2, y2, window)) return 1;
    const double pixels = std::min(std::hypot(x2 - x1, y2 - y1) * (g.width + 1), double(dc.width()) * dc.height());
    return 1 + static_cast<int64_t>(pixels / kPixelsPerDrawCost);
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
    if (budget.exceeded() || !budget.charge(lineCost(dc, g))) return;
    Pen previous = dc.selectPen(createDashPen(object.lineDashStyle, g.width, rgbToColorref(object.lineColorArgb)));
    dc.moveTo(g.x1, g.y1);
    dc.lineTo(g.x2, g.y2);
    dc.selectPen(previous);
}

void drawShapeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget) {
    Geometry g = geometryOf(object, dpi);
    if (object.rectangleclass < 0 || object.rectangleclass > 2) return;
    if (budget.exceeded() || !budget.charge(shapeCost(dc, g, object.fillRectangle))) return;
    int left = std::min(g.x1, g.x2);
    int right = std::max(g.x1, g.x2);
    int top = std::min(g.y1, g.y2);
    int bottom = std::max(g.y1, g.y2);
    platform::Colorref color = rgbToColorref(object.lineColorArgb);
    Pen previousPen = dc.selectPen(createDashPen(object.lineDashStyle, g.width, color));
    platform::Brush previousBrush =
        dc.selectBrush(object.fillRectangle ? platform::Brush::solid(color) : platform::Brush::hollowBrush());
    switch (object.rectangleclass) {
        case 0:
            dc.rectangle(left, top, right, bottom);
            break;
        case 1: {
            // The corner radius is the size of the whole rounding ellipse.
            int d = mmToDots(object.cornerRadius, dpi);
            dc.roundRect(left, top, right, bottom, d, d);
            break;
        }
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
