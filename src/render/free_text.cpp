#include "render/free_text.h"

#include <algorithm>

#include "portable/utf_convert.h"
#include "portable/int_convert.h"
#include "render/units.h"

namespace mk {

namespace {

// A column's runs and their heights lie in the layout's shared lists, from
// first on: a text of many short lines costs a few bytes per character.
struct Column {
    uint32_t first = 0;
    uint32_t count = 0;
    int width = 0;
    int64_t height = 0;
};

// Calls each(line) for every line of the text, an empty one as a space.
template <typename Each>
void forEachFreeLine(std::string_view text, Each each) {
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() ? start < text.size() : text[i] == '\n') {
            const std::string_view line = text.substr(start, i - start);
            each(line.empty() ? std::string_view(" ") : line);
            start = i + 1;
        }
    }
}

// Measures with the object's font and counts what that costs: every code
// point measured, and each the first time it is measured.
class ChargedMeasure : public TextMeasure {
public:
    ChargedMeasure(const TextMeasure& measure, TextCharge& charge) : measure_(measure), charge_(charge) {}
    TextExtent extent(std::u16string_view text) const override {
        charge_.lookedAt(text.size());
        for (size_t i = 0; i < text.size();) {
            const size_t start = i;
            const char32_t codePoint = platform::nextCodePoint(text, i);
            if (seen_.insert(codePoint)) charge_.measured(measure_.covers(text.substr(start, i - start)));
        }
        return measure_.extent(text);
    }

private:
    const TextMeasure& measure_;
    TextCharge& charge_;
    mutable CodePointSet seen_;
};

// Keeps a width per line; the lines' texts are converted again for the
// lines that can reach the surface.
void layoutHorizontal(const TextMeasure& measure, const LabelObject& object, std::string_view source, int x0, int y0,
                      float lineGap, SurfaceSize surface, TextPlan& plan, TextCharge& charge) {
    // Each line as UTF-16; a line that begins with a zero byte is none.
    std::u16string units;
    const auto forEachLine = [&](auto each) {
        forEachFreeLine(source, [&](std::string_view line) {
            units = platform::utf8ToUtf16(line);
            if (!units.empty()) each(units);
        });
    };
    CallVector<TextExtent> extents;
    int64_t blockWidth = 0;
    int64_t total = 0;
    int64_t tallest = 0;
    int lastHeight = 0;
    forEachLine([&](std::u16string_view line) {
        const TextExtent extent = measure.extent(line);
        extents.push_back(extent);
        if (extents.size() > 1) total += lineGapAfter(object, lastHeight, lineGap);
        tallest = std::max<int64_t>(tallest, extent.cy);
        blockWidth = std::max<int64_t>(blockWidth, extent.cx);
        total += extent.cy;
        lastHeight = extent.cy;
    });
    if (!charge.settle()) return;
    const float zoom = object.charHZoom > 0.01f ? object.charHZoom : 1.0f;
    const float zoomedWidth = static_cast<float>(blockWidth) * zoom;
    int64_t dx = 0;
    if (object.texttextalign == 1) dx = platform::truncToInt(-zoomedWidth * 0.5f);
    if (object.texttextalign == 2) dx = platform::truncToInt(-zoomedWidth);
    const int64_t dy = blockOffset(object.texttextvalign, total);
    const int64_t left = x0 + dx;
    const int64_t top = y0 + dy;

    if (object.blackbackground) {
        plan.reverseBox =
            FilledBox{platform::saturateToInt(left), platform::saturateToInt(top), platform::saturateToInt(left + platform::truncToInt(zoomedWidth)),
                      platform::saturateToInt(top + total), plan.textColor};
        plan.textColor = platform::kWhite;
    }
    plan.scaled = true;
    plan.scaleX = roundedZoom(zoom);
    plan.keepWithin(surface, tallest, false);
    const int64_t startX = logicalX(left, zoom);
    int64_t acc = 0;
    size_t i = 0;
    forEachLine([&](std::u16string_view line) {
        const TextExtent extent = extents[i];
        const int64_t inner = lineOffset(object.texttextalign, blockWidth, extent.cx);
        plan.place(startX + inner, top + acc, line, extent.cx, extent.cy);
        acc += extent.cy;
        if (++i < extents.size()) acc += lineGapAfter(object, extent.cy, lineGap);
    });
}

void layoutVertical(const TextMeasure& measure, const LabelObject& object, std::string_view source, int x0, int y0,
                    float lineGap, SurfaceSize surface, TextPlan& plan, TextCharge& charge) {
    CallVector<Column> columns;
    RunList runs;
    CallVector<int> heights;
    int64_t largestRun = 0;  // the widest or tallest code point
    forEachFreeLine(source, [&](std::string_view line) {
        if (runs.size() + line.size() > UINT32_MAX) return;
        Column column{static_cast<uint32_t>(runs.size())};
        appendUtf8Runs(line, runs);
        for (size_t j = column.first; j < runs.size(); ++j) {
            const TextExtent extent = measure.extent(runs[j]);
            heights.push_back(extent.cy);
            column.width = std::max(column.width, extent.cx);
            column.height += extent.cy;
            largestRun = std::max<int64_t>(largestRun, std::max(extent.cx, extent.cy));
        }
        column.count = static_cast<uint32_t>(runs.size() - column.first);
        if (column.count > 0) columns.push_back(column);
    });
    if (columns.empty() || !charge.settle()) return;
    int64_t totalWidth = 0;
    int64_t maxHeight = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        totalWidth += columns[i].width;
        if (i + 1 < columns.size()) totalWidth += lineGapAfter(object, columns[i].width, lineGap);
        maxHeight = std::max(maxHeight, columns[i].height);
    }
    const int64_t left = x0 + blockOffset(object.texttextalign, totalWidth);
    const int64_t top = y0 + blockOffset(object.texttextvalign, maxHeight);
    if (object.blackbackground) {
        plan.reverseBox = FilledBox{platform::saturateToInt(left), platform::saturateToInt(top), platform::saturateToInt(left + totalWidth),
                                    platform::saturateToInt(top + maxHeight), plan.textColor};
        plan.textColor = platform::kWhite;
    }
    plan.keepWithin(surface, largestRun, true);
    int64_t colX = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        const Column& column = columns[i];
        const int64_t columnTop = top + lineOffset(object.texttextvalign, maxHeight, column.height);
        int64_t acc = 0;
        for (size_t j = column.first; j < column.first + column.count; ++j) {
            plan.place(left + colX, columnTop + acc, runs[j], column.width, heights[j]);
            acc += heights[j];
        }
        colX += column.width;
        if (i + 1 < columns.size()) colX += lineGapAfter(object, column.width, lineGap);
    }
}

}  // namespace

TextPlan layoutFreeText(const TextMeasure& measure, const LabelObject& object, std::string_view text, int x0, int y0,
                        platform::Colorref color, int dpi, SurfaceSize surface, DrawBudget* budget) {
    TextCharge charge(budget);
    const ChargedMeasure charged(measure, charge);
    TextPlan plan;
    plan.textColor = color;
    const auto lineGap = static_cast<float>(mmToDots(object.linegap, dpi));
    if (object.isverticaltext) {
        layoutVertical(charged, object, text, x0, y0, lineGap, surface, plan, charge);
    } else {
        layoutHorizontal(charged, object, text, x0, y0, lineGap, surface, plan, charge);
    }
    charge.settle();
    return plan;
}

void drawFreeText(platform::DeviceContext& dc, const LabelObject& object, std::string_view text, int x0, int y0,
                  platform::Colorref color, int dpi, DrawBudget& budget) {
    const TextPlan plan =
        layoutFreeText(DeviceTextMeasure(dc), object, text, x0, y0, color, dpi, {dc.width(), dc.height()}, &budget);
    if (budget.exceeded() || !budget.charge(plan.paintCost)) return;
    drawTextPlan(dc, plan);
}

}  // namespace mk
