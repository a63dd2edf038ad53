#include "render/free_text.h"

#include <algorithm>

#include "portable/utf_convert.h"
#include "portable/int_convert.h"
#include "render/units.h"

namespace mk {

namespace {

// A line's units lie in the layout's shared text, from first on.
struct MeasuredLine {
    size_t first = 0;
    size_t length = 0;
    TextExtent extent;
};

// A column's runs and their heights lie in the layout's shared lists, from
// first on: a text of many short lines costs a few bytes per character.
struct Column {
    size_t first = 0;
    size_t count = 0;
    int width = 0;
    int64_t height = 0;
};

std::vector<std::string_view> freeLines(std::string_view text) {
    std::vector<std::string_view> lines = splitParagraphs(text);
    for (std::string_view& line : lines) {
        if (line.empty()) line = " ";
    }
    return lines;
}

void layoutHorizontal(const TextMeasure& measure, const LabelObject& object, const std::vector<std::string_view>& lines,
                      int x0, int y0, float lineGap, SurfaceSize surface, TextPlan& plan) {
    std::vector<MeasuredLine> measured;
    std::u16string text;
    for (std::string_view line : lines) {
        const std::u16string units = platform::utf8ToUtf16(line);
        if (units.empty()) continue;  // began with a zero byte
        measured.push_back(MeasuredLine{text.size(), units.size(), measure.extent(units)});
        text += units;
    }
    int64_t blockWidth = 0;
    int64_t total = 0;
    int64_t tallest = 0;
    for (size_t i = 0; i < measured.size(); ++i) {
        tallest = std::max<int64_t>(tallest, measured[i].extent.cy);
        blockWidth = std::max<int64_t>(blockWidth, measured[i].extent.cx);
        total += measured[i].extent.cy;
        if (i + 1 < measured.size()) total += lineGapAfter(object, measured[i].extent.cy, lineGap);
    }
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
    for (size_t i = 0; i < measured.size(); ++i) {
        const int64_t inner = lineOffset(object.texttextalign, blockWidth, measured[i].extent.cx);
        plan.place(startX + inner, top + acc, std::u16string_view(text).substr(measured[i].first, measured[i].length));
        acc += measured[i].extent.cy;
        if (i + 1 < measured.size()) acc += lineGapAfter(object, measured[i].extent.cy, lineGap);
    }
}

void layoutVertical(const TextMeasure& measure, const LabelObject& object, const std::vector<std::string_view>& lines,
                    int x0, int y0, float lineGap, SurfaceSize surface, TextPlan& plan) {
    std::vector<Column> columns;
    std::vector<TextRun> runs;
    std::vector<int> heights;
    int64_t largestRun = 0;  // the widest or tallest code point
    for (std::string_view line : lines) {
        Column column{runs.size()};
        for (const TextRun& run : splitUtf8Runs(line)) {
            const TextExtent extent = measure.extent(run);
            runs.push_back(run);
            heights.push_back(extent.cy);
            column.width = std::max(column.width, extent.cx);
            column.height += extent.cy;
            largestRun = std::max<int64_t>(largestRun, std::max(extent.cx, extent.cy));
        }
        column.count = runs.size() - column.first;
        if (column.count > 0) columns.push_back(column);
    }
    if (columns.empty()) return;
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
            plan.place(left + colX, columnTop + acc, runs[j]);
            acc += heights[j];
        }
        colX += column.width;
        if (i + 1 < columns.size()) colX += lineGapAfter(object, column.width, lineGap);
    }
}

}  // namespace

TextPlan layoutFreeText(const TextMeasure& measure, const LabelObject& object, std::string_view text, int x0, int y0,
                        platform::Colorref color, int dpi, SurfaceSize surface) {
    TextPlan plan;
    plan.textColor = color;
    const std::vector<std::string_view> lines = freeLines(text);
    const auto lineGap = static_cast<float>(mmToDots(object.linegap, dpi));
    if (object.isverticaltext) {
        layoutVertical(measure, object, lines, x0, y0, lineGap, surface, plan);
    } else {
        layoutHorizontal(measure, object, lines, x0, y0, lineGap, surface, plan);
    }
    return plan;
}

void drawFreeText(platform::DeviceContext& dc, const LabelObject& object, std::string_view text, int x0, int y0,
                  platform::Colorref color, int dpi) {
    drawTextPlan(dc, layoutFreeText(DeviceTextMeasure(dc), object, text, x0, y0, color, dpi, {dc.width(), dc.height()}));
}

}  // namespace mk
