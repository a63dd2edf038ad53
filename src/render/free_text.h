#pragma once

#include <string_view>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "render/text_plan.h"
#include "render/text_runs.h"

namespace mk {

// Free layout: whole lines one below the other, or (isverticaltext) one
// column of upright characters per line, left to right; no wrapping. The
// block is aligned on the anchor (x0, y0) in dots. text is the display text
// (UTF-8 after mnemonic substitution); measure answers in the object's font.
// Lines and characters that cannot reach the surface are left out of the plan.
// Its measuring is charged to the budget, when given; once it is exceeded the
// plan is left unfinished.
TextPlan layoutFreeText(const TextMeasure& measure, const LabelObject& object, std::string_view text, int x0, int y0,
                        platform::Colorref color, int dpi, SurfaceSize surface = {}, DrawBudget* budget = nullptr);

// Lays out and draws with the font selected in the device context, charging
// the layout and the painting to the budget; nothing is drawn beyond it.
void drawFreeText(platform::DeviceContext& dc, const LabelObject& object, std::string_view text, int x0, int y0,
                  platform::Colorref color, int dpi, DrawBudget& budget);

}  // namespace mk
