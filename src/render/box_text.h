#pragma once

#include <string_view>

#include "model/label_object.h"
#include "render/text_plan.h"
#include "render/text_runs.h"

namespace mk {

// The object's font during box layout: measures with the font in use and
// puts a font of another size in its place when the text must shrink.
class BoxTextFont : public TextMeasure {
public:
    virtual void setSize(float points) = 0;
};

// Box layout: the text cut into code points, wrapped, shrunk or compressed
// to the box width (boxWidth dots), aligned as one block on the anchor
// (x0, y0) in dots and drawn one code point at a time with the character
// gap. text is the display text (UTF-8 after mnemonic substitution). The
// font ends at the size the layout settled on. Code points that cannot reach
// the surface are left out of the plan.
TextPlan layoutBoxText(BoxTextFont& font, const LabelObject& object, std::string_view text, int x0, int y0,
                       platform::Colorref color, int boxWidth, int dpi, SurfaceSize surface = {});

}  // namespace mk
