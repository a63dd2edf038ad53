#include "support/fixed_text_measure.h"

#include "portable/utf_convert.h"

#include <bit>
#include <cstdint>

namespace mk::test {

TextExtent FixedTextMeasure::extent(std::u16string_view text) const {
    int cx = 0;
    for (size_t i = 0; i < text.size();) {
        // A surrogate pair counts once, by its high half.
        const char16_t first = text[i];
        platform::nextCodePoint(text, i);
        auto it = widths.find(first);
        if (it != widths.end()) {
            cx += it->second;
        } else {
            cx += widthAtSize != nullptr && !sizes.empty() ? widthAtSize(size_) : width;
        }
    }
    return TextExtent{cx, height};
}

void FixedTextMeasure::setSize(float points) {
    size_ = points;
    sizes.push_back(points);
}

int FixedTextMeasure::emFor(float points) const {
    if (emAtSize != nullptr) return emAtSize(points);
    // Positive floats order as their bit patterns.
    return points > 0.0f ? static_cast<int>(std::bit_cast<uint32_t>(points)) : 0;
}

Paragraphs paragraphsOf(const std::vector<TextLine>& paragraphs) {
    Paragraphs text;
    for (const TextLine& paragraph : paragraphs) {
        text.spans.push_back(RunSpan{static_cast<uint32_t>(text.runs.size()), static_cast<uint32_t>(paragraph.size())});
        text.runs.insert(text.runs.end(), paragraph.begin(), paragraph.end());
    }
    text.space = static_cast<uint32_t>(text.runs.size());
    text.runs.emplace_back(u" ");
    return text;
}

std::vector<TextLine> linesOf(const Paragraphs& text, const SpanList& lines) {
    std::vector<TextLine> out;
    for (const RunSpan& line : lines) {
        const auto runs = text.of(line);
        out.emplace_back(runs.begin(), runs.end());
    }
    return out;
}

std::vector<int> pieceXs(const TextPlan& plan) {
    std::vector<int> out;
    for (const auto& piece : plan.pieces) out.push_back(piece.x);
    return out;
}

std::vector<int> pieceYs(const TextPlan& plan) {
    std::vector<int> out;
    for (const auto& piece : plan.pieces) out.push_back(piece.y);
    return out;
}

std::vector<std::u16string> pieceTexts(const TextPlan& plan) {
    std::vector<std::u16string> out;
    for (const auto& piece : plan.pieces) out.emplace_back(plan.textOf(piece));
    return out;
}

}  // namespace mk::test
