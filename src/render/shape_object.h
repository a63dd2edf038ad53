#pragma once

#include "model/label_object.h"
#include "platform/device_context.h"

namespace mk {

// The pen for lineDashStyle at a width in dots: 1 dot or less gives a 1-dot
// pen (solid, dashed, dash-dot, dash-dot-dot or dotted; an unknown style is
// dotted), wider gives a round-capped pen with the dash pattern in multiples
// of the width (an unknown style is solid).
platform::Pen createDashPen(int style, int width, platform::Colorref color);

// A line object from its start to its end point, the end point excluded.
void drawLineObject(platform::DeviceContext& dc, const LabelObject& object, int dpi);

// A rectangle, rounded rectangle or ellipse object (rectangleclass 0, 1, 2;
// any other class draws nothing), filled in the line colour when
// fillRectangle is set.
void drawShapeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi);

}  // namespace mk
