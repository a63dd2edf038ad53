#include "render/box_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <memory>
#include <span>

#include "portable/int_convert.h"
#include "render/units.h"

namespace mk {

namespace {

// Wrapping shrinks the font by this step while its size stays above the floor.
constexpr float kShrinkStep = 0.2f;
constexpr float kShrinkFloor = 2.0f;

enum class Overflow { Wrap = 0, ScaleFont = 2 };  // any other value compresses

// A run's units packed in one word: never 0, as no unit of a run is.
uint64_t packedUnits(std::u16string_view units) {
    uint64_t key = 0;
    for (const char16_t unit : units) key = key << 16 | unit;
    return key;
}

// Where a packed run is looked for first in an open table of mask + 1 slots.
size_t firstSlot(uint64_t key, size_t mask) { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask; }

// The extents of single code points at the font's current size, asked of
// the font once each: a layout measures every code point in every pass
// (wrapping, shrinking, measuring, placing), and a font answers the same
// for the same code point until its size changes.
class RunExtents : public BoxTextFont {
public:
    RunExtents(BoxTextFont& font, TextCharge& charge) : font_(font), charge_(charge) {}

    TextExtent extent(std::u16string_view text) const override {
        charge_.lookedAt(1);
        if (text.size() == 1 && text[0] < kDirect) {
            std::optional<TextExtent>& known = direct_[text[0]];
            if (!known) known = measured(text);
            return *known;
        }
        if (text.empty() || text.size() > TextRun::kMaxUnits) return measured(text);
        const uint64_t key = packedUnits(text);
        if (known_ >= other_.size() / 4 * 3) grow();
        Known& slot = other_[find(key)];
        if (slot.key != key) {
            slot = Known{key, measured(text)};
            ++known_;
        }
        return slot.extent;
    }

    bool covers(std::u16string_view text) const override { return font_.covers(text); }

    int emFor(float points) const override { return font_.emFor(points); }

    void setSize(float points) override {
        font_.setSize(points);
        direct_.fill(std::nullopt);
        std::fill(other_.begin(), other_.end(), Known{});
        known_ = 0;
    }

private:
    static constexpr char16_t kDirect = 0x800;  // Latin, Greek, Cyrillic and their neighbours
    // Other code points in an open table that grows with the different ones
    // the text holds, mapped for the call, up to kMostSlots (16 MiB); full,
    // it starts over.
    static constexpr size_t kMostSlots = size_t{1} << 20;
    struct Known {
        uint64_t key = 0;  // 0: empty
        TextExtent extent;
    };
    size_t find(uint64_t key) const {
        const size_t mask = other_.size() - 1;
        size_t at = firstSlot(key, mask);
        while (other_[at].key != 0 && other_[at].key != key) at = (at + 1) & mask;
        return at;
    }
    void grow() const {
        if (other_.size() >= kMostSlots) {
            std::fill(other_.begin(), other_.end(), Known{});
            known_ = 0;
            return;
        }
        CallVector<Known> old(std::max<size_t>(other_.size() * 2, 1024));
        old.swap(other_);
        for (const Known& known : old) {
            if (known.key != 0) other_[find(known.key)] = known;
        }
    }
    // Asks the font, charging it by whether a face has the glyphs (the
    // missing glyph's box costs no hinting).
    TextExtent measured(std::u16string_view text) const {
        charge_.measured(font_.covers(text));
        return font_.extent(text);
    }

    BoxTextFont& font_;
    TextCharge& charge_;
    mutable std::array<std::optional<TextExtent>, kDirect> direct_{};
    mutable CallVector<Known> other_;
    mutable size_t known_ = 0;
};

// The sizes as multiples of 2^-26 point: every size above the floor, and
// the step, is one exactly.
constexpr int kUnitBits = 26;
constexpr int64_t kStepUnits = 13421773;
static_assert(static_cast<float>(kStepUnits / 67108864.0) == kShrinkStep);

float fromUnits(int64_t units) { return static_cast<float>(std::ldexp(static_cast<double>(units), -kUnitBits)); }

// Each run of the list once, in the order they first come.
RunList distinctRuns(std::span<const TextRun> runs) {
    RunList distinct;
    CallVector<uint64_t> seen(1024);  // packed runs, 0 where empty
    const auto slot = [&](uint64_t key) {
        size_t at = firstSlot(key, seen.size() - 1);
        while (seen[at] != 0 && seen[at] != key) at = (at + 1) & (seen.size() - 1);
        return at;
    };
    for (const TextRun& run : runs) {
        if (distinct.size() * 2 >= seen.size()) {
            CallVector<uint64_t> old(seen.size() * 2);
            old.swap(seen);
            for (const uint64_t key : old) {
                if (key != 0) seen[slot(key)] = key;
            }
        }
        const uint64_t key = packedUnits(run);
        uint64_t& at = seen[slot(key)];
        if (at == key) continue;
        at = key;
        distinct.push_back(run);
    }
    return distinct;
}

// Hinted advances may shrink by a pixel or two as the em grows, never by
// more than this many ems' growth: beyond it, a smaller em is never wider.
constexpr int kEmWobble = 32;

// Wraps at the sizes ShrinkSizes lists and finds the first that fits as a
// scan from the largest would, trying each em at most once. The fit only
// depends on the em, and shrinks the lines as the em shrinks but for the
// wobble of hinted advances: a binary search finds where it starts to fit,
// and the ems within kEmWobble above that are tried from the largest down.
class ShrinkSearch {
public:
    // runs: the text's.
    // Wraps at the font's size: whether the text fits, and how many runs it looked at.
    using Fits = std::function<bool(size_t& examined)>;

    // Once charge finds the budget exceeded, the search ends at once
    // (every size left fits), with nothing more wrapped or measured.
    ShrinkSearch(BoxTextFont& font, float start, const Fits& fits, const RunList& runs, TextCharge& charge)
        : font_(font), sizes_(start), fits_(fits), runs_(runs), charge_(charge), current_(start) {
        // The sizes too small for a font of their own come last.
        uint64_t lo = 0;
        uint64_t hi = sizes_.tried();
        while (lo < hi) {
            const uint64_t mid = lo + (hi - lo) / 2;
            if (emAt(mid) > 0) lo = mid + 1; else hi = mid;
        }
        ownEms_ = lo;
    }

    // The size the text ends at.
    float find() {
        const std::optional<uint64_t> k = firstFit();
        return k ? sizes_.at(*k) : sizes_.at(sizes_.tried());
    }

    float current() const { return current_; }

private:
    std::optional<uint64_t> firstFit() {
        if (fitsAt(0)) return 0;
        if (ownEms_ > 0) {
            uint64_t bad = 0;
            std::optional<uint64_t> good;
            if (fitsAt(ownEms_ - 1)) {
                good = ownEms_ - 1;
                while (*good - bad > 1) {
                    // Halves the ems between them, which are fewer than the sizes.
                    uint64_t mid = firstBelow((static_cast<int64_t>(emAt(bad)) + emAt(*good)) / 2 + 1);
                    if (mid <= bad || mid >= *good) mid = bad + (*good - bad) / 2;
                    (fitsAt(mid) ? *good : bad) = mid;
                }
            } else {
                bad = ownEms_ - 1;
            }
            // A size above bad that fits has an em less than kEmWobble above its em.
            const int64_t reach = static_cast<int64_t>(emAt(bad)) + kEmWobble;
            for (uint64_t k = firstBelow(reach); k < bad; k = firstBelow(emAt(k))) {
                if (noNarrowerThan(bad, k)) continue;
                if (fitsAt(k)) return k;
            }
            if (good) return good;
        }
        if (ownEms_ < sizes_.tried() && fitsAt(ownEms_)) return ownEms_;
        return std::nullopt;
    }

    int emAt(uint64_t k) const { return font_.emFor(sizes_.at(k)); }

    // The first size with an em below em, among those with their own.
    uint64_t firstBelow(int64_t em) const {
        uint64_t lo = 0;
        uint64_t hi = ownEms_;
        while (lo < hi) {
            const uint64_t mid = lo + (hi - lo) / 2;
            if (emAt(mid) >= em) lo = mid + 1; else hi = mid;
        }
        return lo;
    }

    void sizeFor(uint64_t k) {
        const float size = sizes_.at(k);
        if (size != current_) {
            font_.setSize(size);
            current_ = size;
        }
    }

    // Whether no run the wrap at size bad looked at is narrower at size k.
    // Then every line at k ends where it did at bad or sooner, so the text
    // takes no fewer lines and cannot fit: it need not be wrapped again.
    bool noNarrowerThan(uint64_t bad, uint64_t k) {
        if (!charge_.settle()) return true;
        if (badWidths_.empty()) {
            const Known* known = knownAt(emAt(bad));
            if (known == nullptr) return false;
            distinct_ = distinctRuns(std::span<const TextRun>(runs_).first(known->examined));
            sizeFor(bad);
            for (const TextRun& run : distinct_) badWidths_.push_back(font_.extent(run).cx);
        }
        sizeFor(k);
        for (size_t i = 0; i < distinct_.size(); ++i) {
            if (font_.extent(distinct_[i]).cx < badWidths_[i]) return false;
        }
        return true;
    }

    struct Known {
        int em = 0;
        bool fit = false;
        size_t examined = 0;  // runs the wrap looked at, from the first
    };

    const Known* knownAt(int em) const {
        for (const Known& known : known_) {
            if (known.em == em) return &known;
        }
        return nullptr;
    }

    bool fitsAt(uint64_t k) {
        const int em = emAt(k);
        if (const Known* known = knownAt(em)) return known->fit;
        if (!charge_.settle()) return true;
        sizeFor(k);
        size_t examined = 0;
        const bool fit = fits_(examined);
        known_.push_back(Known{em, fit, examined});
        return fit;
    }

    BoxTextFont& font_;
    ShrinkSizes sizes_;
    const Fits& fits_;
    const RunList& runs_;
    TextCharge& charge_;
    // The runs the wrap at the boundary looked at, each once, and their widths there.
    RunList distinct_;
    CallVector<int> badWidths_;
    float current_;
    uint64_t ownEms_ = 0;
    std::vector<Known> known_;  // the ems tried
};

// Wraps, then shrinks the font towards textmaxline lines, down to just
// below two points; at the last size all the lines are drawn.
SpanList wrapAndShrink(BoxTextFont& font, const TextLayoutContext& context, const Paragraphs& paragraphs,
                       int boxWidth, float size, TextCharge& charge) {
    const int maxLines = context.object.textmaxline;
    if (maxLines < 1 || !(size > kShrinkFloor)) return wrapTextRuns(context, paragraphs, boxWidth);
    if (!(size < ShrinkSizes::kStuckFrom)) {
        // A step no longer changes the size: it stays, fitting or not. A
        // size that is not a number goes once through the step.
        if (std::isnan(size)) {
            SpanList lines = wrapTextRuns(context, paragraphs, boxWidth, static_cast<size_t>(maxLines) + 1);
            if (lines.size() <= static_cast<size_t>(maxLines)) return lines;
            font.setSize(size - kShrinkStep);
        }
        return wrapTextRuns(context, paragraphs, boxWidth);
    }
    // While shrinking, a wrap stops one line past textmaxline: that is
    // enough to know the text does not fit yet.
    const ShrinkSearch::Fits fits = [&](size_t& examined) {
        return wrapTextRuns(context, paragraphs, boxWidth, static_cast<size_t>(maxLines) + 1, &examined).size() <=
               static_cast<size_t>(maxLines);
    };
    ShrinkSearch search(font, size, fits, paragraphs.runs, charge);
    const float found = search.find();
    if (!charge.settle()) return {};
    if (found != search.current()) font.setSize(found);
    return wrapTextRuns(context, paragraphs, boxWidth);
}

}  // namespace

ShrinkSizes::ShrinkSizes(float start) {
    float s = start;
    uint64_t k = 0;
    for (;;) {
        Run run{k, static_cast<int64_t>(std::ldexp(static_cast<double>(s), kUnitBits)), 0};
        if (!(s > kShrinkFloor)) {
            runs_.push_back(run);
            tried_ = k;
            return;
        }
        // Within [2^e, 2^(e+1)) every step is the step rounded to the unit
        // of the last place, while the difference stays in that range.
        int exponent = 0;
        std::frexp(s, &exponent);
        const int e = exponent - 1;
        const int64_t unit = int64_t{1} << (e - 23 + kUnitBits);
        run.step = (kStepUnits + unit / 2) / unit * unit;
        const int64_t low = int64_t{1} << (e + kUnitBits);
        const int64_t regular = run.start - kStepUnits >= low ? (run.start - kStepUnits - low) / run.step + 1 : 0;
        runs_.push_back(run);
        const int64_t last = run.start - regular * run.step;
        if (!(fromUnits(last) > kShrinkFloor)) {  // exactly the floor
            tried_ = k + static_cast<uint64_t>(regular);
            return;
        }
        k += static_cast<uint64_t>(regular) + 1;
        s = fromUnits(last) - kShrinkStep;
    }
}

float ShrinkSizes::at(uint64_t k) const {
    const auto run = std::prev(std::upper_bound(runs_.begin(), runs_.end(), k,
                                                [](uint64_t v, const Run& r) { return v < r.first; }));
    return fromUnits(run->start - static_cast<int64_t>(k - run->first) * run->step);
}

TextPlan layoutBoxText(BoxTextFont& objectFont, const LabelObject& object, std::string_view text, int x0, int y0,
                       platform::Colorref color, int boxWidth, int dpi, SurfaceSize surface, DrawBudget* budget) {
    TextCharge charge(budget);
    RunExtents font(objectFont, charge);
    TextPlan plan;
    plan.textColor = color;
    const Paragraphs paragraphs = paragraphRuns(text);
    const TextLayoutContext context{font, mmToDots(object.chargap, dpi), object,
                                    static_cast<float>(mmToDots(object.linegap, dpi))};
    float zoom = object.charHZoom > 0.01f ? object.charHZoom : 1.0f;

    SpanList lines;
    if (object.textwidthbeyound == static_cast<int>(Overflow::Wrap)) {
        lines = wrapAndShrink(font, context, paragraphs, boxWidth, object.fontsize, charge);
    } else {
        int widest = 0;
        int total = 0;
        measureTextLines(context, paragraphs, paragraphs.spans, widest, total);
        if (object.textwidthbeyound == static_cast<int>(Overflow::ScaleFont)) {
            if (widest > boxWidth)
                font.setSize(static_cast<float>(boxWidth) * object.fontsize / static_cast<float>(widest));
        } else {
            zoom = widest > boxWidth ? static_cast<float>(boxWidth) / static_cast<float>(widest) : 1.0f;
        }
        lines = paragraphs.spans;
    }
    // Beyond the budget nothing is drawn: the rest is not worked out.
    if (!charge.settle()) return plan;

    int widest = 0;
    int total = 0;
    measureTextLines(context, paragraphs, lines, widest, total);
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
    const int lineHeight = !lines.empty() && lines.front().count > 0
                               ? font.extent(paragraphs.runs[lines.front().first]).cy
                               : font.extent(u"X").cy;
    plan.keepWithin(surface, lineHeight, true);
    int64_t y = top;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::span<const TextRun> line = paragraphs.of(lines[i]);
        if (line.empty()) {
            y += lineHeight;
            continue;
        }
        // Lines wholly above or below the surface place nothing: they are
        // not measured.
        if (plan.keepsRow(y)) {
            const int lineWidth = platform::roundToInt(static_cast<float>(measureRunsWidth(context, line)) * zoom);
            int64_t x = startX + logicalX(lineOffset(object.texttextalign, blockWidth, lineWidth), zoom);
            for (const TextRun& run : line) {
                const TextExtent extent = font.extent(run);
                plan.place(x, y, run, extent.cx, extent.cy);
                x += static_cast<int64_t>(extent.cx) + context.charGap;
            }
        }
        y += lineHeight;
        if (i + 1 < lines.size()) y += lineGapAfter(object, lineHeight, context.lineGap);
    }
    charge.settle();
    return plan;
}

}  // namespace mk
