#include "render/box_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "portable/int_convert.h"
#include "render/units.h"

namespace mk {

namespace {

// Wrapping shrinks the font by this step while its size stays above the floor.
constexpr float kShrinkStep = 0.2f;
constexpr float kShrinkFloor = 2.0f;

enum class Overflow { Wrap = 0, ScaleFont = 2 };  // any other value compresses

// The extents of single code points at the font's current size, asked of
// the font once each: a layout measures every code point in every pass
// (wrapping, shrinking, measuring, placing), and a font answers the same
// for the same code point until its size changes.
class RunExtents : public BoxTextFont {
public:
    explicit RunExtents(BoxTextFont& font) : font_(font) {}

    TextExtent extent(std::u16string_view text) const override {
        if (text.size() == 1 && text[0] < kDirect) {
            std::optional<TextExtent>& known = direct_[text[0]];
            if (!known) known = font_.extent(text);
            return *known;
        }
        if (text.empty() || text.size() > TextRun::kMaxUnits) return font_.extent(text);
        uint64_t key = 0;  // a run's units are never zero, so the packing is unique
        for (const char16_t unit : text) key = key << 16 | unit;
        const auto [it, added] = other_.try_emplace(key);
        if (added) it->second = font_.extent(text);
        return it->second;
    }

    void setSize(float points) override {
        font_.setSize(points);
        direct_.fill(std::nullopt);
        other_.clear();
    }

private:
    static constexpr char16_t kDirect = 0x800;  // Latin, Greek, Cyrillic and their neighbours
    BoxTextFont& font_;
    mutable std::array<std::optional<TextExtent>, kDirect> direct_{};
    mutable std::unordered_map<uint64_t, TextExtent> other_;
};

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
    if (maxLines < 1 || size <= kShrinkFloor) return wrapTextRuns(context, paragraphs, boxWidth);
    // While shrinking, a wrap stops one line past textmaxline: that is
    // enough to know the text does not fit yet.
    const size_t limit = static_cast<size_t>(maxLines) + 1;
    std::vector<TextLine> lines = wrapTextRuns(context, paragraphs, boxWidth, limit);
    do {
        if (lines.size() <= static_cast<size_t>(maxLines)) return lines;
        const float smaller = size - kShrinkStep;
        // A size too large to change by a step would never reach the floor.
        if (smaller == size) break;
        size = smaller;
        font.setSize(size);
        lines = wrapTextRuns(context, paragraphs, boxWidth, limit);
    } while (size > kShrinkFloor);
    // Still too many lines at the last size: all of them are drawn.
    return wrapTextRuns(context, paragraphs, boxWidth);
}

}  // namespace

TextPlan layoutBoxText(BoxTextFont& objectFont, const LabelObject& object, std::string_view text, int x0, int y0,
                       platform::Colorref color, int boxWidth, int dpi, SurfaceSize surface) {
    RunExtents font(objectFont);
    TextPlan plan;
    plan.textColor = color;
    std::vector<TextLine> paragraphs = paragraphRuns(text);
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
        lines = std::move(paragraphs);
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
    plan.keepWithin(surface, lineHeight, true);
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
            plan.place(x, y, run);
            x += static_cast<int64_t>(font.extent(run).cx) + context.charGap;
        }
        y += lineHeight;
        if (i + 1 < lines.size()) y += lineGapAfter(object, lineHeight, context.lineGap);
    }
    return plan;
}

}  // namespace mk
