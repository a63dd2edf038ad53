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

std::vector<TextRun> splitUtf8Runs(std::string_view text) {
    const auto pieceLength = [&](size_t i) {
        return std::min(sequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
    };
    size_t pieces = 0;
    for (size_t i = 0; i < text.size(); i += pieceLength(i)) ++pieces;
    std::vector<TextRun> runs;
    runs.reserve(pieces);
    for (size_t i = 0; i < text.size();) {
        const size_t length = pieceLength(i);
        const auto lead = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
        if (lead != 0 && lead < 0x80) {
            runs.emplace_back(std::u16string_view(&lead, 1));
        } else if (lead != 0) {
            TextRun run = platform::utf8ToUtf16(text.substr(i, length));
            if (!run.empty()) runs.push_back(run);
        }
        i += length;
    }
    return runs;
}

std::vector<std::string_view> splitParagraphs(std::string_view text) {
    std::vector<std::string_view> paragraphs;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) == kLineFeed) {
            paragraphs.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) paragraphs.push_back(text.substr(start));
    return paragraphs;
}

int lineGapAfter(const LabelObject& object, int h, float lineGap) { return gapAfter(object.linegapindex, h, lineGap); }

int measureRunsWidth(const TextLayoutContext& context, const TextLine& line) {
    int64_t width = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (i > 0) width += context.charGap;
        width += context.measure.extent(line[i]).cx;
    }
    return platform::saturateToInt(width);
}

void measureTextLines(const TextLayoutContext& context, const std::vector<TextLine>& lines, int& widest, int& total) {
    widest = 0;
    total = 0;
    const int h = context.measure.extent(u"X").cy;
    int64_t sum = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        widest = std::max(widest, measureRunsWidth(context, lines[i]));
        sum += h;
        if (i + 1 < lines.size()) sum += lineGapAfter(context.object, h, context.lineGap);
    }
    total = platform::saturateToInt(sum);
}

std::vector<TextLine> wrapTextRuns(const TextLayoutContext& context, const std::vector<TextLine>& paragraphs,
                                   int maxWidth, size_t lineLimit) {
    std::vector<TextLine> lines;
    for (const TextLine& paragraph : paragraphs) {
        if (lines.size() >= lineLimit) break;
        if (paragraph.empty()) {
            lines.push_back(TextLine{u" "});
            continue;
        }
        size_t start = 0;
        while (start < paragraph.size() && lines.size() < lineLimit) {
            TextLine line;
            int64_t total = 0;
            for (size_t j = start; j < paragraph.size(); ++j) {
                const int w = context.measure.extent(paragraph[j]).cx;
                total += w;
                if (!line.empty()) total += context.charGap;
                // A run fits while about half of it lies inside the width.
                if (total > static_cast<int64_t>(maxWidth) + w / 2) break;
                line.push_back(paragraph[j]);
            }
            if (line.empty()) line.push_back(paragraph[start]);
            start += line.size();
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

}  // namespace mk
