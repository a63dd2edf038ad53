#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <span>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/label_object.h"
#include "platform/device_context.h"
#include "platform/font.h"
#include "render/draw_budget.h"
#include "render/text_plan.h"

namespace mk {

// One code point as UTF-16: one unit, or a surrogate pair; a malformed
// sequence of up to four bytes, as many units as its bytes convert to. Held
// in place, so a long text costs a few bytes per code point.
class TextRun {
public:
    static constexpr size_t kMaxUnits = 4;

    TextRun() = default;
    // Keeps at most kMaxUnits units: what a sequence of at most four bytes converts to.
    TextRun(std::u16string_view units) : size_(static_cast<uint8_t>(std::min(units.size(), kMaxUnits))) {
        units.copy(units_.data(), size_);
    }
    TextRun(const char16_t* units) : TextRun(std::u16string_view(units)) {}
    TextRun(const std::u16string& units) : TextRun(std::u16string_view(units)) {}

    std::u16string_view view() const { return {units_.data(), size_}; }
    operator std::u16string_view() const { return view(); }
    bool empty() const { return size_ == 0; }
    friend bool operator==(const TextRun& a, const TextRun& b) { return a.view() == b.view(); }

private:
    std::array<char16_t, kMaxUnits> units_{};
    uint8_t size_ = 0;
};
// A paragraph or a drawn line.
using TextLine = std::vector<TextRun>;

using RunList = CallVector<TextRun>;

// Where a paragraph or a line lies in a run list.
struct RunSpan {
    uint32_t first = 0;
    uint32_t count = 0;
};
using SpanList = CallVector<RunSpan>;

// The runs of every paragraph one after another, and a space after them all
// that stands for the paragraphs that have none.
struct Paragraphs {
    RunList runs;
    SpanList spans;
    uint32_t space = 0;  // the index of that space

    std::span<const TextRun> of(RunSpan span) const { return {runs.data() + span.first, span.count}; }
};

using TextExtent = platform::TextExtent;

// Measures text in the font in use; the device context answers it when
// drawing, a table of fixed extents in the layout tests.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual TextExtent extent(std::u16string_view text) const = 0;
    // Whether a face has a glyph for every code point of the text.
    virtual bool covers(std::u16string_view /*text*/) const { return true; }
};

// Measures with the font selected in a device context.
class DeviceTextMeasure : public TextMeasure {
public:
    explicit DeviceTextMeasure(const platform::DeviceContext& dc) : dc_(dc) {}
    TextExtent extent(std::u16string_view text) const override { return dc_.textExtent(text); }
    bool covers(std::u16string_view text) const override { return dc_.font()->covers(text); }

private:
    const platform::DeviceContext& dc_;
};

// What a layout's passes cost, counted as they go and charged to the call's
// budget (draw_budget.h) between passes; without a budget nothing is charged.
class TextCharge {
public:
    explicit TextCharge(DrawBudget* budget) : budget_(budget) {}
    void lookedAt(size_t codePoints) { looked_ += codePoints; }
    // A code point measured anew at a size.
    void measured(bool covered) { units_ += covered ? kGlyphMeasureCost : 1; }
    void add(int64_t units) { units_ += units; }
    // Charges what was counted since the last time; false once the budget is exceeded.
    bool settle();

private:
    DrawBudget* budget_;
    uint64_t looked_ = 0;
    int64_t units_ = 0;
};

// A set of code points, for telling which ones a text measures for the first time.
class CodePointSet {
public:
    // False when the code point was in the set already.
    bool insert(char32_t codePoint);

private:
    CallVector<uint32_t> slots_;  // code point + 1, 0 where empty
    size_t size_ = 0;
};

// What the measuring operations read during one drawing call.
struct TextLayoutContext {
    const TextMeasure& measure;
    int charGap;                // dots
    const LabelObject& object;  // only linegapindex is read
    float lineGap;              // a whole number of dots
};

// Cuts UTF-8 text into runs of one code point each; malformed sequences give
// runs of what their bytes convert to, zero bytes give none.
std::vector<TextRun> splitUtf8Runs(std::string_view text);
void appendUtf8Runs(std::string_view text, RunList& runs);

// The paragraphs of a text (see splitParagraphs); an empty one gets a space
// of its own. Texts beyond 4 GiB are cut there.
Paragraphs paragraphRuns(std::string_view text);

// Cuts text at every line feed. A final line feed adds nothing; text between
// two line feeds in a row, or before a leading one, is an empty paragraph.
std::vector<std::string_view> splitParagraphs(std::string_view text);

// The gap that follows a line of height h, by linegapindex.
int lineGapAfter(const LabelObject& object, int h, float lineGap);

int measureRunsWidth(const TextLayoutContext& context, std::span<const TextRun> line);

// Widest line and total height, each line counting the height of "X".
void measureTextLines(const TextLayoutContext& context, const Paragraphs& text, const SpanList& lines, int& widest,
                      int& total);

// Greedy wrapping between any two code points: the lines, as spans of the
// paragraphs' runs (a paragraph without runs gives a line of the space).
// With a line limit, stops once it has that many lines: enough to tell
// whether the text takes more. examined, when given, is set to how many runs
// from the first it looked at: no run after those changed the lines.
SpanList wrapTextRuns(const TextLayoutContext& context, const Paragraphs& paragraphs, int maxWidth,
                      size_t lineLimit = SIZE_MAX, size_t* examined = nullptr);

}  // namespace mk
