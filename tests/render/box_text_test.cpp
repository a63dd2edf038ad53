#include "render/box_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>

#include "portable/int_convert.h"

#include "support/fixed_text_measure.h"

namespace {

using mk::layoutBoxText;
using mk::TextPlan;
using mk::test::FixedTextMeasure;
using mk::test::pieceTexts;
using mk::test::pieceXs;
using mk::test::pieceYs;

constexpr int kDpi = 203;
constexpr mk::platform::Colorref kBlue = 0x00FF0000u;

LabelObject boxObject() {
    LabelObject object;
    object.texttype = 1;
    object.fontsize = 10.0f;
    object.charHZoom = 1.0f;
    object.textwidthbeyound = 0;
    object.textmaxline = 0;
    return object;
}

TEST(BoxLayout, WrapShrinksByFifthsOfAPointUntilJustBelowTwo) {
    FixedTextMeasure font;  // widths never shrink: the text never fits
    LabelObject object = boxObject();
    object.textmaxline = 2;
    const TextPlan plan = layoutBoxText(font, object, std::string(50, 'a'), 0, 0, kBlue, 100, kDpi);
    // 41 steps down, each size tried at most once.
    ASSERT_FALSE(font.sizes.empty());
    EXPECT_LE(font.sizes.size(), 41u);
    EXPECT_EQ(font.sizes.back(), 1.8000052f);
    // Ten runs of 10 dots fit a box of 100 (the eleventh totals 110 > 105):
    // five lines are drawn although textmaxline is 2.
    EXPECT_EQ(plan.pieces.size(), 50u);
    EXPECT_EQ(pieceYs(plan).back(), 4 * 29);
}

int shrinkingWidth(float size) { return static_cast<int>(size * 2.0f); }

TEST(BoxLayout, WrapStopsShrinkingOnceTheLinesFit) {
    FixedTextMeasure font;
    font.widthAtSize = shrinkingWidth;
    font.width = 20;  // 10 pt: 20 dots a run
    LabelObject object = boxObject();
    object.textmaxline = 1;
    // Ten runs fit one line of 100 once a run is 10 dots (11 would total
    // 110 > 100 + 5): at 5.4 pt, the 23rd step.
    const TextPlan plan = layoutBoxText(font, object, std::string(10, 'a'), 0, 0, kBlue, 100, kDpi);
    ASSERT_LE(font.sizes.size(), 8u);  // a search, not 23 steps
    EXPECT_NEAR(font.sizes.back(), 5.4f, 1e-4);
    EXPECT_EQ(pieceYs(plan), std::vector<int>(10, 0));
    EXPECT_EQ(pieceXs(plan).back(), 90);
}

// The rule a shrinking layout keeps: a fifth of a point at a time from the
// object's size, wrapping at each, until the lines fit or the size is at
// most two points.
float shrinkOneStepAtATime(float size, const std::function<bool(float)>& fits) {
    if (fits(size)) return size;
    for (;;) {
        const float smaller = size - 0.2f;
        if (smaller == size) return size;
        size = smaller;
        if (!(size > 2.0f) || fits(size)) return size;
    }
}

TEST(BoxLayout, ShrinkSizesAreTheStepsOfASinglePrecisionLoop) {
    // Starts on both sides of powers of two, where the rounded step changes.
    for (const float start : {2.1f, 2.2f, 7.3f, 10.0f, 64.0f, 64.1f, 1000.7f, 65535.9f, 262143.0f,
                              std::nextafter(2097152.0f, 0.0f), 2097152.0f, 4194303.0f}) {
        const mk::ShrinkSizes sizes(start);
        float size = start;
        uint64_t k = 0;
        // Every size of the small starts; of the large ones, a sample and the last.
        const uint64_t stride = start > 70000.0f ? 4099 : 1;
        for (; size > 2.0f; ++k, size -= 0.2f) {
            if (k % stride == 0 || size < 3.0f) {
                ASSERT_EQ(sizes.at(k), size) << start << " pt, step " << k;
            }
        }
        EXPECT_EQ(sizes.tried(), k) << start << " pt";
        EXPECT_EQ(sizes.at(k), size) << start << " pt";
    }
}

// Runs as wide as their em in dots, as a font would be, with a wobble of two
// dots every fourth em as hinted advances have (8 is wider than 9); below 5
// dots one fixed font of 3-dot runs.
int emAt96Dpi(float size) {
    const int em = mk::platform::roundToInt(96.0f * size / 72.0f);
    return em < 5 ? 0 : std::min(em, 16384);
}
int wobblingWidth(float size) {
    const int em = emAt96Dpi(size);
    return em == 0 ? 3 : em + (em % 4 == 0 ? 2 : 0);
}

TEST(BoxLayout, ShrinkingEndsAtTheSizeTheStepByStepRuleFinds) {
    struct Case {
        float fontSize;
        int runs;
        int boxWidth;
        int maxLines;
    };
    const Case cases[] = {
        {10.0f, 10, 100, 1},     {1048576.0f, 2, 11, 1}, {4194303.0f, 2, 11, 1}, {3000.7f, 30, 100, 2},
        {7.3f, 50, 100, 2},      {100000.0f, 5, 40, 1},  {60.0f, 10, 35, 1},      {262143.0f, 200, 3000, 3},
        {500.0f, 41, 199, 1},    {60.0f, 2, 14, 1},      {60.0f, 2, 20, 1},       {900.0f, 2, 26, 1},
        {900.0f, 3, 44, 1},
    };
    for (const Case& c : cases) {
        LabelObject object = boxObject();
        object.textmaxline = c.maxLines;
        object.fontsize = c.fontSize;
        const std::string text(static_cast<size_t>(c.runs), 'a');
        FixedTextMeasure font;
        font.widthAtSize = wobblingWidth;
        font.emAtSize = emAt96Dpi;
        font.setSize(c.fontSize);  // as the object's font starts
        layoutBoxText(font, object, text, 0, 0, kBlue, c.boxWidth, kDpi);

        std::map<int, bool> fitByWidth;
        const auto fits = [&](float size) {
            FixedTextMeasure fixed;
            fixed.width = wobblingWidth(size);
            const auto [known, added] = fitByWidth.try_emplace(fixed.width);
            const mk::TextLayoutContext context{fixed, 0, object, 0.0f};
            if (added) known->second = mk::wrapTextRuns(context, mk::paragraphRuns(text), c.boxWidth).size() <=
                                       static_cast<size_t>(c.maxLines);
            return known->second;
        };
        EXPECT_EQ(font.sizes.back(), shrinkOneStepAtATime(c.fontSize, fits)) << c.fontSize << " pt";
        EXPECT_LE(font.sizes.size(), 64u) << c.fontSize << " pt";
    }
}

TEST(BoxLayout, WrapWithoutMaxLineOrAtSmallSizesNeverShrinks) {
    struct Case {
        int maxLine;
        float fontSize;
    };
    for (const Case c : {Case{0, 10.0f}, Case{-3, 10.0f}, Case{1, 2.0f}, Case{1, 1.0f}}) {
        FixedTextMeasure font;
        LabelObject object = boxObject();
        object.textmaxline = c.maxLine;
        object.fontsize = c.fontSize;
        const TextPlan plan = layoutBoxText(font, object, std::string(30, 'a'), 0, 0, kBlue, 100, kDpi);
        EXPECT_TRUE(font.sizes.empty()) << "maxline " << c.maxLine << ", " << c.fontSize << " pt";
        EXPECT_EQ(plan.pieces.size(), 30u);
        EXPECT_EQ(pieceYs(plan).back(), 2 * 29);
    }
}

TEST(BoxLayout, HugeSizesStopShrinkingInsteadOfLoopingForever) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.textmaxline = 1;
    object.fontsize = 1e30f;
    layoutBoxText(font, object, std::string(30, 'a'), 0, 0, kBlue, 100, kDpi);
    EXPECT_TRUE(font.sizes.empty());
}

TEST(BoxLayout, ScaleDownReplacesTheFontOnceWhenTooWide) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.textwidthbeyound = 2;
    object.fontsize = 12.0f;
    layoutBoxText(font, object, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\nbb", 0, 0, kBlue, 100, kDpi);  // widest 300
    ASSERT_EQ(font.sizes.size(), 1u);
    EXPECT_EQ(font.sizes[0], 100.0f * 12.0f / 300.0f);

    FixedTextMeasure fits;
    layoutBoxText(fits, object, "aaaaaaaaaa", 0, 0, kBlue, 100, kDpi);  // exactly 100: kept
    EXPECT_TRUE(fits.sizes.empty());
}

TEST(BoxLayout, ScaleAndCompressDrawParagraphsUnwrapped) {
    for (int mode : {1, 2, 7}) {
        FixedTextMeasure font;
        LabelObject object = boxObject();
        object.textwidthbeyound = mode;
        const TextPlan plan = layoutBoxText(font, object, std::string(30, 'a'), 0, 0, kBlue, 100, kDpi);
        ASSERT_EQ(plan.pieces.size(), 30u);
        EXPECT_EQ(pieceYs(plan).back(), 0) << "mode " << mode;
    }
}

TEST(BoxLayout, ZoomIsRoundedToFourDecimalsAndCompressIgnoresCharHZoom) {
    struct Case {
        int overflow;
        float charHZoom;
        int runs;  // of 10 dots, in a box of 100
        float scaleX;
    };
    const Case cases[] = {
        {0, 1.0f / 3.0f, 5, 0.3333f}, {0, 0.0f, 5, 1.0f},       {0, -2.0f, 5, 1.0f},
        {0, 0.01f, 5, 1.0f},          {0, 0.0101f, 5, 0.0101f}, {2, 1.5f, 5, 1.5f},
        {1, 2.0f, 5, 1.0f},           {1, 2.0f, 20, 0.5f},      {3, 1.0f, 30, 0.3333f},
    };
    for (const Case& c : cases) {
        FixedTextMeasure font;
        LabelObject object = boxObject();
        object.textwidthbeyound = c.overflow;
        object.charHZoom = c.charHZoom;
        const TextPlan plan = layoutBoxText(font, object, std::string(c.runs, 'a'), 0, 0, kBlue, 100, kDpi);
        EXPECT_TRUE(plan.scaled);
        EXPECT_EQ(plan.scaleX, c.scaleX) << "mode " << c.overflow << ", zoom " << c.charHZoom << ", " << c.runs;
    }
}

TEST(BoxLayout, CompressedTextStartsAtTheAnchorInLogicalUnits) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.textwidthbeyound = 1;
    const TextPlan plan = layoutBoxText(font, object, std::string(20, 'a'), 101, 7, kBlue, 100, kDpi);
    ASSERT_EQ(plan.scaleX, 0.5f);
    EXPECT_EQ(plan.pieces[0].x, 202);  // (int)(101 / 0.5 + 0.5)
    EXPECT_EQ(plan.pieces[1].x, 212);  // gaps and advances stay logical
    EXPECT_EQ(plan.pieces[0].y, 7);
}

TEST(BoxLayout, CentredOddBlockAndLinesInsideIt) {
    FixedTextMeasure font;
    font.widths[u'b'] = 11;
    LabelObject object = boxObject();
    object.texttextalign = 1;
    // Lines of 41 and 31 dots: the block is 41 wide, dx = -20, and the
    // shorter line starts 5 dots right of the block's left edge.
    const TextPlan plan = layoutBoxText(font, object, "aaab\naab", 100, 50, kBlue, 500, kDpi);
    EXPECT_EQ(pieceXs(plan), (std::vector<int>{80, 90, 100, 110, 85, 95, 105}));
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{50, 50, 50, 50, 79, 79, 79}));
}

TEST(BoxLayout, RightAlignedBlockEndsAtTheAnchor) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.texttextalign = 2;
    object.texttextvalign = 2;
    const TextPlan plan = layoutBoxText(font, object, "aaa\na", 100, 100, kBlue, 500, kDpi);
    EXPECT_EQ(pieceXs(plan), (std::vector<int>{70, 80, 90, 90}));
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{42, 42, 42, 71}));  // total 58 ends at 100
}

TEST(BoxLayout, LineGapsByIndexAndCharacterGapInDots) {
    struct Case {
        int linegapindex;
        int secondLineY;
    };
    // H = 29; linegap 1 mm is 8 dots at 203 dpi.
    const Case cases[] = {{0, 29}, {1, 29 + 14}, {2, 29 + 29}, {3, 29 + 8}, {5, 29}};
    for (const Case& c : cases) {
        FixedTextMeasure font;
        LabelObject object = boxObject();
        object.linegapindex = c.linegapindex;
        object.linegap = 1.0f;
        object.chargap = 0.5f;  // 4 dots
        const TextPlan plan = layoutBoxText(font, object, "ab\nc", 0, 0, kBlue, 500, kDpi);
        EXPECT_EQ(pieceXs(plan), (std::vector<int>{0, 14, 0})) << "index " << c.linegapindex;
        EXPECT_EQ(pieceYs(plan), (std::vector<int>{0, 0, c.secondLineY})) << "index " << c.linegapindex;
    }
}

TEST(BoxLayout, ParagraphsKeepEmptyOnesAsASpaceAndDropAFinalLineFeed) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    const TextPlan plan = layoutBoxText(font, object, "A\n\nB\n", 0, 0, kBlue, 500, kDpi);
    ASSERT_EQ(plan.pieces.size(), 3u);
    EXPECT_EQ(plan.textOf(plan.pieces[0]), u"A");
    EXPECT_EQ(plan.textOf(plan.pieces[1]), u" ");
    EXPECT_EQ(plan.textOf(plan.pieces[2]), u"B");
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{0, 29, 58}));

    // A carriage return is no break: it stays a character of its line.
    const TextPlan cr = layoutBoxText(font, object, "A\rB", 0, 0, kBlue, 500, kDpi);
    ASSERT_EQ(cr.pieces.size(), 3u);
    EXPECT_EQ(cr.textOf(cr.pieces[1]), u"\r");
}

TEST(BoxLayout, ReverseDisplayFillsExactlyTheBlockAndDrawsWhite) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.blackbackground = true;
    object.texttextalign = 1;
    object.texttextvalign = 2;
    object.linegapindex = 2;
    const TextPlan plan = layoutBoxText(font, object, "aaa\naaaaa", 100, 200, kBlue, 500, kDpi);
    ASSERT_TRUE(plan.reverseBox.has_value());
    // Block 50 x (29 + 29 + 29), centred on x, ending at the anchor's y.
    EXPECT_EQ(plan.reverseBox->left, 75);
    EXPECT_EQ(plan.reverseBox->right, 125);
    EXPECT_EQ(plan.reverseBox->top, 113);
    EXPECT_EQ(plan.reverseBox->bottom, 200);
    EXPECT_EQ(plan.reverseBox->color, kBlue);
    EXPECT_EQ(plan.textColor, mk::platform::kWhite);

    object.blackbackground = false;
    const TextPlan plain = layoutBoxText(font, object, "aaa", 100, 200, kBlue, 500, kDpi);
    EXPECT_FALSE(plain.reverseBox.has_value());
    EXPECT_EQ(plain.textColor, kBlue);
}

TEST(BoxLayout, ZoomedReverseBlockIsTheZoomedWidth) {
    FixedTextMeasure font;
    LabelObject object = boxObject();
    object.blackbackground = true;
    object.charHZoom = 1.5f;
    object.texttextalign = 1;
    const TextPlan plan = layoutBoxText(font, object, "aaa", 100, 0, kBlue, 500, kDpi);  // 30 dots
    ASSERT_TRUE(plan.reverseBox.has_value());
    EXPECT_EQ(plan.reverseBox->right - plan.reverseBox->left, 45);
    EXPECT_EQ(plan.reverseBox->left, 100 - 22);
    EXPECT_EQ(plan.pieces[0].x, 52);  // (int)(78 / 1.5 + 0.5)
}

}  // namespace
