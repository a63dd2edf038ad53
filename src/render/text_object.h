#pragma once

#include <string_view>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/draw_budget.h"

namespace mk {

// Draws a text object on the label surface at the render resolution: box
// layout when texttype is 1 and the box is at least 11 dots wide, free
// layout otherwise. Leaves the background mode transparent and the text
// colour last set; restores the font, graphics mode and world transform.
// Its layout, each size tried and each pass, and its painting are charged to
// the call's budget (draw_budget.h): the layout stops once the budget is
// exceeded, and nothing is drawn then.
void drawTextObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget);

// Sets the text colour and draws the text with the top-left corner of its
// cell at (x, y), in logical units.
void drawTextRun(platform::DeviceContext& dc, std::u16string_view text, int x, int y, platform::Colorref color);

}  // namespace mk
