#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/label_object.h"
#include "render/text_plan.h"
#include "render/text_runs.h"

namespace mk {

// The object's font during box layout: measures with the font in use and
// puts a font of another size in its place when the text must shrink.
class BoxTextFont : public TextMeasure {
public:
    virtual void setSize(float points) = 0;
    // The em in pixels a size draws with: sizes of one em measure alike, and
    // a smaller size never has a larger em, except that the sizes too small
    // for a font of their own (0 here) all draw with one fixed font.
    virtual int emFor(float points) const = 0;
};

// The sizes wrapping tries while it shrinks a text towards textmaxline: from
// the object's size down by a fifth of a point at a time, each the single
// precision difference of the one before and the step, until one is at or
// below two points. Worked out in runs of equal steps (one or two per binary
// exponent), so that any of the millions of sizes a large font passes is
// found at once.
class ShrinkSizes {
public:
    // From this size on a step no longer changes a single-precision size.
    static constexpr float kStuckFrom = 4194304.0f;

    // start lies above two points and below kStuckFrom.
    explicit ShrinkSizes(float start);
    // The sizes above the floor: at(0) to at(tried() - 1). at(tried()) is the
    // size the shrinking ends at when none of them fits.
    uint64_t tried() const { return tried_; }
    float at(uint64_t k) const;

private:
    // Sizes first + i are start - i * step, in units of 2^-26 point.
    struct Run {
        uint64_t first = 0;
        int64_t start = 0;
        int64_t step = 0;
    };
    std::vector<Run> runs_;
    uint64_t tried_ = 0;
};

// Box layout: the text cut into code points, wrapped, shrunk or compressed
// to the box width (boxWidth dots), aligned as one block on the anchor
// (x0, y0) in dots and drawn one code point at a time with the character
// gap. text is the display text (UTF-8 after mnemonic substitution). The
// font ends at the size the layout settled on. Code points that cannot reach
// the surface are left out of the plan. The layout's passes are charged to
// the budget, when given, as they go: once it is exceeded the layout stops
// and the plan is left unfinished (the caller draws nothing then).
TextPlan layoutBoxText(BoxTextFont& font, const LabelObject& object, std::string_view text, int x0, int y0,
                       platform::Colorref color, int boxWidth, int dpi, SurfaceSize surface = {},
                       DrawBudget* budget = nullptr);

}  // namespace mk
