#pragma once

#include "model/label_object.h"
#include "platform/device_context.h"

namespace mk {

// Draws a text object on the label surface at the render resolution.
// Reports nothing: an object that cannot be drawn is skipped.
void drawTextObject(platform::DeviceContext& dc, const LabelObject& object, int dpi);

}  // namespace mk
