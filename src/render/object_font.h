#pragma once

#include "model/label_object.h"
#include "platform/font.h"

namespace mk {

// The font request of an object at a size in points and a resolution: the
// em height in pixels (negative), bold for fontstyle 1 and 3, italic for 2
// and 3, the face name cut to 31 UTF-16 units ("Arial" when empty).
platform::LogFont objectLogFont(const LabelObject& object, float size, int dpi);

// The em in pixels the font of objectLogFont draws with at a size: the
// same em, the same font. 0 for the sizes below 5 pixels, which all draw
// at one fixed height.
int objectFontEm(float size, int dpi);

// The object's font, made from objectLogFont; not selected anywhere. The
// caller selects it into a device context and drops it when done.
platform::FontHandle createObjectFont(const LabelObject& object, float size, int dpi);

}  // namespace mk
