#include "render/text_runs.h"

#include <algorithm>

#include "portable/utf_convert.h"
#include "portable/int_convert.h"

namespace mk {

namespace {

constexpr unsigned char kLineFeed = 10;

// The sequence length a lead byte announces; continuation bytes and bytes
// that can start nothing stand alone.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

// Calls each(paragraph) for the text between line feeds (see splitParagraphs).
template <typename Each>
void forEachParagraph(std::string_view text, Each each) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) == kLineFeed) {
            each(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) each(text.substr(start));
}

int gapAfter(int linegapindex, int h, float lineGap) {
    switch (linegapindex) {
        case 1:
            return h / 2;
        case 2:
            return h;
        case 3:
            return platform::truncToInt(lineGap);
        default:
            return 0;
    }
}

}  // namespace

namespace {

// Calls add(run) for each run of the text, in order.
template <typename Add>
void forEachRun(std::string_view text, Add add) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        const auto lead = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
        if (lead != 0 && lead < 0x80) {
            add(TextRun(std::u16string_view(&lead, 1)));
        } else if (lead != 0) {
            // A few units: held in the string itself, not on the heap.
            const TextRun run = platform::utf8ToUtf16(text.substr(i, length));
            if (!run.empty()) add(run);
        }
        i += length;
    }
}

size_t runCount(std::string_view text) {
    size_t count = 0;
    forEachRun(text, [&](const TextRun&) { ++count; });
    return count;
}

}  // namespace

std::vector<TextRun> splitUtf8Runs(std::string_view text) {
    std::vector<TextRun> runs;
    runs.reserve(runCount(text));
    forEachRun(text, [&](const TextRun& run) { runs.push_back(run); });
    return runs;
}

void appendUtf8Runs(std::string_view text, RunList& runs) {
    forEachRun(text, [&](const TextRun& run) { runs.push_back(run); });
}

Paragraphs paragraphRuns(std::string_view text) {
    // Spans count in 32 bits; no label text comes near that.
    text = text.substr(0, UINT32_MAX / 2);
    Paragraphs paragraphs;
    size_t paragraphCount = 0;
    size_t runs = 0;
    forEachParagraph(text, [&](std::string_view paragraph) {
        ++paragraphCount;
        runs += paragraph.empty() ? 1 : runCount(paragraph);
    });
    paragraphs.runs.reserve(runs + 1);
    paragraphs.spans.reserve(paragraphCount);
    forEachParagraph(text, [&](std::string_view paragraph) {
        const auto first = static_cast<uint32_t>(paragraphs.runs.size());
        appendUtf8Runs(paragraph.empty() ? std::string_view(" ") : paragraph, paragraphs.runs);
        paragraphs.spans.push_back(RunSpan{first, static_cast<uint32_t>(paragraphs.runs.size() - first)});
    });
    paragraphs.space = static_cast<uint32_t>(paragraphs.runs.size());
    paragraphs.runs.emplace_back(u" ");
    return paragraphs;
}

std::vector<std::string_view> splitParagraphs(std::string_view text) {
    std::vector<std::string_view> paragraphs;
    forEachParagraph(text, [&](std::string_view paragraph) { paragraphs.push_back(paragraph); });
    return paragraphs;
}

int lineGapAfter(const LabelObject& object, int h, float lineGap) { return gapAfter(object.linegapindex, h, lineGap); }

int measureRunsWidth(const TextLayoutContext& context, std::span<const TextRun> line) {
    int64_t width = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (i > 0) width += context.charGap;
        width += context.measure.extent(line[i]).cx;
    }
    return platform::saturateToInt(width);
}

void measureTextLines(const TextLayoutContext& context, const Paragraphs& text, const SpanList& lines, int& widest,
                      int& total) {
    widest = 0;
    total = 0;
    const int h = context.measure.extent(u"X").cy;
    int64_t sum = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        widest = std::max(widest, measureRunsWidth(context, text.of(lines[i])));
        sum += h;
        if (i + 1 < lines.size()) sum += lineGapAfter(context.object, h, context.lineGap);
    }
    total = platform::saturateToInt(sum);
}

bool TextCharge::settle() {
    if (budget_ == nullptr) return true;
    const auto looked = static_cast<int64_t>(looked_ / kCharactersPerDrawCost);
    looked_ %= kCharactersPerDrawCost;
    const int64_t units = units_ + looked;
    units_ = 0;
    return budget_->charge(units);
}

bool CodePointSet::insert(char32_t codePoint) {
    if (size_ * 2 >= slots_.size()) {
        CallVector<uint32_t> old(std::max<size_t>(slots_.size() * 2, 64));
        old.swap(slots_);
        size_ = 0;
        for (const uint32_t key : old) {
            if (key != 0) insert(key - 1);
        }
    }
    const uint32_t key = static_cast<uint32_t>(codePoint) + 1;
    const size_t mask = slots_.size() - 1;
    size_t at = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 24) & mask;
    while (slots_[at] != 0 && slots_[at] != key) at = (at + 1) & mask;
    if (slots_[at] == key) return false;
    slots_[at] = key;
    ++size_;
    return true;
}

SpanList wrapTextRuns(const TextLayoutContext& context, const Paragraphs& paragraphs, int maxWidth,
                      size_t lineLimit, size_t* examined) {
    SpanList lines;
    size_t looked = 0;
    for (const RunSpan& paragraph : paragraphs.spans) {
        if (lines.size() >= lineLimit) break;
        if (paragraph.count == 0) {
            lines.push_back(RunSpan{paragraphs.space, 1});
            continue;
        }
        const uint32_t end = paragraph.first + paragraph.count;
        uint32_t start = paragraph.first;
        while (start < end && lines.size() < lineLimit) {
            uint32_t taken = 0;
            int64_t total = 0;
            for (uint32_t j = start; j < end; ++j) {
                looked = std::max<size_t>(looked, size_t{j} + 1);
                const int w = context.measure.extent(paragraphs.runs[j]).cx;
                total += w;
                if (taken > 0) total += context.charGap;
                // A run fits while about half of it lies inside the width.
                if (total > static_cast<int64_t>(maxWidth) + w / 2) break;
                ++taken;
            }
            if (taken == 0) taken = 1;
            lines.push_back(RunSpan{start, taken});
            start += taken;
        }
    }
    if (examined != nullptr) *examined = looked;
    return lines;
}

}  // namespace mk
