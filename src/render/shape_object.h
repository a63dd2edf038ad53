#pragma once

#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/draw_budget.h"

namespace mk {

// The pen for lineDashStyle at a width in dots: 1 dot or less gives a 1-dot
// pen (solid, dashed, dash-dot, dash-dot-dot or dotted; an unknown style is
// dotted), wider gives a round-capped pen with the dash pattern in multiples
// of the width (an unknown style is solid).
platform::Pen createDashPen(int style, int width, platform::Colorref color);

// A line object from its start to its end point, the end point excluded.
// Charged to the budget the pixels it may write on the surface (its length
// there times its width); nothing is drawn once the budget is exceeded.
void drawLineObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget);

// A rectangle, rounded rectangle or ellipse object (rectangleclass 0, 1, 2;
// any other class draws nothing), filled in the line colour when
// fillRectangle is set. Charged to the budget the pixels it may write on the
// surface (its outline and, filled, its box); nothing is drawn once the
// budget is exceeded.
void drawShapeObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget);

}  // namespace mk
