#include "render/box_text.h"

#include "platform/int_convert.h"
#include "render/units.h"

namespace mk {

namespace {

// Wrapping shrinks the font by this step while its size stays above the floor.
constexpr float kShrinkStep = 0.2f;
constexpr float kShrinkFloor = 2.0f;

enum class Overflow { Wrap = 0, ScaleFont = 2 };  // any other value compresses

std::vector<TextLine> paragraphRuns(std::string_view text) {
    std::vector<TextLine> paragraphs;
    for (std::string_view paragraph : splitParagraphs(text)) {
        paragraphs.push_back(splitUtf8Runs(paragraph.empty() ? std::string_view(" ") : paragraph));
    }
    return paragraphs;
}

// Wraps, then shrinks the font a step at a time until the text wraps into
// textmaxline lines or the size is no longer above the floor.
std::vector<TextLine> wrapAndShrink(BoxTextFont& font, const TextLayoutContext& context,
                                    const std::vector<TextLine>& paragraphs, int boxWidth, float size) {
    const int maxLines = context.object.textmaxline;
    std::vector<TextLine> lines = wrapTextRuns(context, paragraphs, boxWidth);
    if (size > kShrinkFloor) {
        do {
            if (maxLines < 1 || lines.size() <= static_cast<size_t>(maxLines)) break;
            const float smaller = size - kShrinkStep;
            // A size too large to change by a step would never reach the floor.
            if (smaller == size) break;
            size = smaller;
            font.setSize(size);
            lines = wrapTextRuns(context, paragraphs, boxWidth);
        } while (size > kShrinkFloor);
    }
    return lines;
}

}  // namespace

TextPlan layoutBoxText(BoxTextFont& font, const LabelObject& object, std::string_view text, int x0, int y0,
                       platform::Colorref color, int boxWidth, int dpi) {
    TextPlan plan;
    plan.textColor = color;
    const std::vector<TextLine> paragraphs = paragraphRuns(text);
    const TextLayoutContext context{font, mmToDots(object.chargap, dpi), object,
                                    static_cast<float>(mmToDots(object.linegap, dpi))};
    float zoom = object.charHZoom > 0.01f ? object.charHZoom : 1.0f;

    std::vector<TextLine> lines;
    if (object.textwidthbeyound == static_cast<int>(Overflow::Wrap)) {
        lines = wrapAndShrink(font, context, paragraphs, boxWidth, object.fontsize);
    } else {
        int widest = 0;
        int total = 0;
        measureTextLines(context, paragraphs, widest, total);
        if (object.textwidthbeyound == static_cast<int>(Overflow::ScaleFont)) {
            if (widest > boxWidth)
                font.setSize(static_cast<float>(boxWidth) * object.fontsize / static_cast<float>(widest));
        } else {
            zoom = widest > boxWidth ? static_cast<float>(boxWidth) / static_cast<float>(widest) : 1.0f;
        }
        lines = paragraphs;
    }

    int widest = 0;
    int total = 0;
    measureTextLines(context, lines, widest, total);
    const int64_t blockWidth = platform::roundToInt(static_cast<float>(widest) * zoom);
    const int64_t left = x0 + blockOffset(object.texttextalign, blockWidth);
    const int64_t top = y0 + blockOffset(object.texttextvalign, total);
    if (object.blackbackground) {
        plan.reverseBox = FilledBox{platform::saturateToInt(left), platform::saturateToInt(top), platform::saturateToInt(left + blockWidth),
                                    platform::saturateToInt(top + total), color};
        plan.textColor = platform::kWhite;
    }
    plan.scaled = true;
    plan.scaleX = roundedZoom(zoom);

    const int64_t startX = logicalX(left, zoom);
    const int lineHeight =
        !lines.empty() && !lines.front().empty() ? font.extent(lines.front().front()).cy : font.extent(u"X").cy;
    int64_t y = top;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TextLine& line = lines[i];
        if (line.empty()) {
            y += lineHeight;
            continue;
        }
        const int lineWidth = platform::roundToInt(static_cast<float>(measureRunsWidth(context, line)) * zoom);
        int64_t x = startX + logicalX(lineOffset(object.texttextalign, blockWidth, lineWidth), zoom);
        for (const TextRun& run : line) {
            plan.pieces.push_back(PlacedText{platform::saturateToInt(x), platform::saturateToInt(y), run});
            x += static_cast<int64_t>(font.extent(run).cx) + context.charGap;
        }
        y += lineHeight;
        if (i + 1 < lines.size()) y += lineGapAfter(object, lineHeight, context.lineGap);
    }
    return plan;
}

}  // namespace mk
