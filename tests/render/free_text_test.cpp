#include "render/free_text.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixed_text_measure.h"

namespace {

using mk::layoutFreeText;
using mk::TextPlan;
using mk::test::FixedTextMeasure;
using mk::test::pieceTexts;
using mk::test::pieceXs;
using mk::test::pieceYs;
using std::string_literals::operator""s;

constexpr int kDpi = 203;
constexpr mk::platform::Colorref kRed = 0x000000FFu;

TEST(FreeLayout, LinesAreDrawnWholeAndAnEmptyLineIsASpace) {
    FixedTextMeasure measure;
    LabelObject object;
    const TextPlan plan = layoutFreeText(measure, object, "Ab\n\nB\n", 10, 20, kRed, kDpi);
    EXPECT_EQ(pieceTexts(plan), (std::vector<std::u16string>{u"Ab", u" ", u"B"}));
    EXPECT_EQ(pieceXs(plan), (std::vector<int>{10, 10, 10}));
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{20, 49, 78}));
    EXPECT_TRUE(plan.scaled);
    EXPECT_EQ(plan.scaleX, 1.0f);
}

TEST(FreeLayout, ThreeLinesWithFullGapsCentredVertically) {
    FixedTextMeasure measure;
    LabelObject object;
    object.linegapindex = 2;
    object.texttextvalign = 1;
    // total = 3 x 29 + 2 x 29 = 145, dy = -72
    const TextPlan plan = layoutFreeText(measure, object, "a\nb\nc", 0, 100, kRed, kDpi);
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{28, 86, 144}));
}

TEST(FreeLayout, LinesAlignInsideTheBlockByTheirOwnWidth) {
    struct Case {
        int align;
        std::vector<int> x;
    };
    // Lines of 50 and 20 dots at x0 = 100.
    const Case cases[] = {{0, {100, 100}}, {1, {75, 90}}, {2, {50, 80}}, {9, {100, 100}}};
    for (const Case& c : cases) {
        FixedTextMeasure measure;
        LabelObject object;
        object.texttextalign = c.align;
        const TextPlan plan = layoutFreeText(measure, object, "aaaaa\naa", 100, 0, kRed, kDpi);
        EXPECT_EQ(pieceXs(plan), c.x) << "align " << c.align;
    }
}

TEST(FreeLayout, ZoomWidensTheBlockAndRightAlignmentEndsItAtTheAnchor) {
    FixedTextMeasure measure;
    LabelObject object;
    object.charHZoom = 2.0f;
    object.texttextalign = 2;
    object.blackbackground = true;
    const TextPlan plan = layoutFreeText(measure, object, "aaaaa\naa", 300, 0, kRed, kDpi);
    EXPECT_EQ(plan.scaleX, 2.0f);
    // The block is 2 x 50 wide and ends at x0; so does its widest line once
    // the transform doubles it.
    ASSERT_TRUE(plan.reverseBox.has_value());
    EXPECT_EQ(plan.reverseBox->left, 200);
    EXPECT_EQ(plan.reverseBox->right, 300);
    EXPECT_EQ(plan.pieces[0].x * 2 + 2 * 50, 300);
    EXPECT_EQ(plan.pieces[1].x, 100 + 30);  // inner offset in unzoomed units
}

TEST(FreeLayout, ALineStartingWithZeroIsDroppedButInColumnsOnlyItsCodePoint) {
    FixedTextMeasure measure;
    LabelObject object;
    const std::string text = "A\n\0B\nC"s;
    const TextPlan lines = layoutFreeText(measure, object, text, 0, 0, kRed, kDpi);
    EXPECT_EQ(pieceTexts(lines), (std::vector<std::u16string>{u"A", u"C"}));
    EXPECT_EQ(pieceYs(lines), (std::vector<int>{0, 29}));

    object.isverticaltext = true;
    const TextPlan columns = layoutFreeText(measure, object, text, 0, 0, kRed, kDpi);
    EXPECT_EQ(pieceTexts(columns), (std::vector<std::u16string>{u"A", u"B", u"C"}));
    EXPECT_EQ(pieceXs(columns), (std::vector<int>{0, 10, 20}));
}

TEST(FreeLayout, VerticalColumnsStandLeftToRightWithGapsFromTheirWidth) {
    FixedTextMeasure measure;
    measure.widths[u'b'] = 12;
    LabelObject object;
    object.isverticaltext = true;
    object.linegapindex = 1;
    object.texttextvalign = 1;
    // Columns "ab" (12 wide, 58 high) and "cde" (10 wide, 87 high): total
    // width 12 + 6 + 10 = 28, block height 87, dy = -43; the short column
    // starts (87 - 58) / 2 = 14 lower.
    const TextPlan plan = layoutFreeText(measure, object, "ab\ncde", 100, 100, kRed, kDpi);
    EXPECT_FALSE(plan.scaled);
    EXPECT_EQ(pieceTexts(plan), (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"e"}));
    EXPECT_EQ(pieceXs(plan), (std::vector<int>{100, 100, 118, 118, 118}));
    EXPECT_EQ(pieceYs(plan), (std::vector<int>{71, 100, 57, 86, 115}));
}

TEST(FreeLayout, VerticalReverseFillsAllColumnsAndDrawsWhite) {
    FixedTextMeasure measure;
    LabelObject object;
    object.isverticaltext = true;
    object.blackbackground = true;
    object.texttextalign = 1;
    object.linegapindex = 2;
    const TextPlan plan = layoutFreeText(measure, object, "ab\ncde", 100, 100, kRed, kDpi);
    ASSERT_TRUE(plan.reverseBox.has_value());
    // 10 + 10 + 10 wide, 87 high, centred on x.
    EXPECT_EQ(plan.reverseBox->left, 85);
    EXPECT_EQ(plan.reverseBox->right, 115);
    EXPECT_EQ(plan.reverseBox->top, 100);
    EXPECT_EQ(plan.reverseBox->bottom, 187);
    EXPECT_EQ(plan.reverseBox->color, kRed);
    EXPECT_EQ(plan.textColor, mk::platform::kWhite);
}

TEST(FreeLayout, NothingLeftDrawsNothing) {
    FixedTextMeasure measure;
    LabelObject object;
    EXPECT_TRUE(layoutFreeText(measure, object, "\0"s, 0, 0, kRed, kDpi).pieces.empty());
    object.isverticaltext = true;
    const TextPlan plan = layoutFreeText(measure, object, "\0\n\0"s, 0, 0, kRed, kDpi);
    EXPECT_TRUE(plan.pieces.empty());
    EXPECT_FALSE(plan.reverseBox.has_value());
}

}  // namespace
