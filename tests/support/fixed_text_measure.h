#pragma once

#include <map>
#include <string>

#include "render/box_text.h"
#include "render/text_plan.h"
#include "render/text_runs.h"

namespace mk::test {

// Answers extents from fixed numbers, so layout rules can be checked to the
// dot: every code point is `width` wide unless listed in `widths`, every
// text has the height `height`, and a whole text measures the sum of its
// code points. A size change (box layout) may rescale the widths; the sizes
// asked for are recorded.
class FixedTextMeasure : public BoxTextFont {
public:
    int width = 10;
    int height = 29;
    std::map<char16_t, int> widths;
    // Width of a code point at a size, for tests of shrinking; null keeps
    // the widths whatever the size.
    int (*widthAtSize)(float size) = nullptr;
    // The em of a size; null: every size its own em, ordered as the sizes.
    int (*emAtSize)(float size) = nullptr;
    std::vector<float> sizes;

    TextExtent extent(std::u16string_view text) const override;
    void setSize(float points) override;
    int emFor(float points) const override;

private:
    float size_ = 0.0f;
};

// Paragraphs made of the given runs, and the lines a wrap gives back as runs.
Paragraphs paragraphsOf(const std::vector<TextLine>& paragraphs);
std::vector<TextLine> linesOf(const Paragraphs& text, const SpanList& lines);

// The x, y and texts of a plan's pieces, in drawing order.
std::vector<int> pieceXs(const TextPlan& plan);
std::vector<int> pieceYs(const TextPlan& plan);
std::vector<std::u16string> pieceTexts(const TextPlan& plan);

}  // namespace mk::test
