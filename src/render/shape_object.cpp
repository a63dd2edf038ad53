#include "render/shape_object.h"

#include <algorithm>

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

void drawLineObject(platform::DeviceContext& dc, const LabelObject& object, int dpi) {
    Geometry g = geometryOf(object, dpi);
    Pen previous = dc.selectPen(createDashPen(object.lineDashStyle, g.width, rgbToColorref(object.lineColorArgb)));
    dc.moveTo(g.x1, g.y1);
    dc.lineTo(g.x2, g.y2);
    dc.selectPen(previous);
}

void drawShapeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi) {
    Geometry g = geometryOf(object, dpi);
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
