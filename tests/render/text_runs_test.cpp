#include "render/text_runs.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fixed_text_measure.h"

namespace {

using mk::splitUtf8Runs;
using mk::TextLayoutContext;
using mk::TextLine;
using mk::test::FixedTextMeasure;
using std::string_literals::operator""s;

struct RunsCase {
    const char* name;
    std::string bytes;
    std::vector<mk::TextRun> runs;
};

class SplitUtf8Runs : public testing::TestWithParam<RunsCase> {};

TEST_P(SplitUtf8Runs, GivesOneRunPerCodePoint) { EXPECT_EQ(splitUtf8Runs(GetParam().bytes), GetParam().runs); }

INSTANTIATE_TEST_SUITE_P(Table, SplitUtf8Runs,
                         testing::Values(RunsCase{"Empty", "", {}},
                                         RunsCase{"LatinAndCjk",
                                                  "A\xE4\xBD\x93"
                                                  "B",
                                                  {u"A", u"\u4F53", u"B"}},
                                         RunsCase{"FourByteIsOneRunOfTwoUnits", "\xF0\x9F\x98\x80", {u"\U0001F600"}},
                                         RunsCase{"LoneContinuationIsARun",
                                                  "A\x80"
                                                  "B",
                                                  {u"A", u"\uFFFD", u"B"}},
                                         // The lead byte takes the next bytes whatever they are.
                                         RunsCase{"ThreeByteLeadAtEndTakesWhatRemains",
                                                  "A\xE4"
                                                  "B",
                                                  {u"A",
                                                   u"\uFFFD"
                                                   "B"}},
                                         RunsCase{"LeadSwallowsFollowingAscii",
                                                  "\xE4"
                                                  "ABC",
                                                  {u"\uFFFD"
                                                   "AB",
                                                   u"C"}},
                                         RunsCase{"ZeroByteGivesNoRun", "A\0B"s, {u"A", u"B"}},
                                         RunsCase{"LeadBeforeZeroStopsThere",
                                                  "\xE4\0"
                                                  "AB"s,
                                                  {u"\uFFFD", u"B"}},
                                         RunsCase{"InvalidLeadAlone", "\xF8\xFF", {u"\uFFFD", u"\uFFFD"}}),
                         [](const testing::TestParamInfo<RunsCase>& info) { return std::string(info.param.name); });

TEST(SplitParagraphs, CutsAtLineFeedsAndDropsOnlyAFinalEmptyOne) {
    using Parts = std::vector<std::string_view>;
    EXPECT_EQ(mk::splitParagraphs("A\n\nB"), (Parts{"A", "", "B"}));
    EXPECT_EQ(mk::splitParagraphs("A\n"), (Parts{"A"}));
    EXPECT_EQ(mk::splitParagraphs("\nA"), (Parts{"", "A"}));
    EXPECT_EQ(mk::splitParagraphs("A\rB"), (Parts{"A\rB"}));
    EXPECT_EQ(mk::splitParagraphs(""), (Parts{}));
}

TextLine runsOf(size_t count, char16_t c = u'a') { return TextLine(count, std::u16string(1, c)); }

TEST(MeasureRunsWidth, SumsRunsAndPutsTheGapOnlyBetweenThem) {
    FixedTextMeasure measure;
    LabelObject object;
    TextLayoutContext context{measure, 3, object, 0.0f};
    EXPECT_EQ(mk::measureRunsWidth(context, {}), 0);
    EXPECT_EQ(mk::measureRunsWidth(context, runsOf(1)), 10);
    EXPECT_EQ(mk::measureRunsWidth(context, runsOf(4)), 4 * 10 + 3 * 3);
}

TEST(MeasureTextLines, CountsTheHeightOfXPerLineAndGapsByIndex) {
    struct Case {
        int linegapindex;
        float lineGap;
        size_t lines;
        int total;
    };
    const Case cases[] = {
        {1, 0.0f, 1, 29},               // one line: no gap
        {1, 0.0f, 3, 3 * 29 + 2 * 14},  // half a line, truncated
        {2, 0.0f, 3, 3 * 29 + 2 * 29},  // one line
        {3, 7.0f, 3, 3 * 29 + 2 * 7},   // linegap
        {4, 7.0f, 3, 3 * 29},           // none
        {0, 7.0f, 0, 0},                // no lines
    };
    for (const Case& c : cases) {
        FixedTextMeasure measure;
        LabelObject object;
        object.linegapindex = c.linegapindex;
        TextLayoutContext context{measure, 2, object, c.lineGap};
        std::vector<TextLine> lines(c.lines, runsOf(3));
        if (!lines.empty()) lines[0] = runsOf(5);
        int widest = -1;
        int total = -1;
        const mk::Paragraphs text = mk::test::paragraphsOf(lines);
        mk::measureTextLines(context, text, text.spans, widest, total);
        EXPECT_EQ(total, c.total) << "linegapindex " << c.linegapindex << ", " << c.lines << " lines";
        EXPECT_EQ(widest, c.lines == 0 ? 0 : 5 * 10 + 4 * 2);
    }
}

std::vector<size_t> lineSizes(const std::vector<TextLine>& lines) {
    std::vector<size_t> sizes;
    for (const TextLine& line : lines) sizes.push_back(line.size());
    return sizes;
}

TEST(WrapTextRuns, FitsARunWhileAboutHalfOfItIsInside) {
    struct Case {
        int runWidth;
        int charGap;
        int maxWidth;
        size_t runs;
        std::vector<size_t> expected;
    };
    const Case cases[] = {
        {30, 0, 100, 7, {3, 3, 1}},  // fourth run totals 120 > 100 + 15
        {40, 0, 100, 7, {3, 3, 1}},  // third run totals 120, not above 100 + 20
        {40, 5, 100, 6, {2, 2, 2}},  // third run with gaps totals 130 > 120
        {50, 0, 20, 3, {1, 1, 1}},   // every run wider than the box: one per line
        {10, 0, 100, 0, {1}},        // empty paragraph: one line
    };
    for (const Case& c : cases) {
        FixedTextMeasure measure;
        measure.width = c.runWidth;
        LabelObject object;
        TextLayoutContext context{measure, c.charGap, object, 0.0f};
        const mk::Paragraphs text = mk::test::paragraphsOf({runsOf(c.runs)});
        const auto lines = mk::test::linesOf(text, mk::wrapTextRuns(context, text, c.maxWidth));
        EXPECT_EQ(lineSizes(lines), c.expected) << "runs of " << c.runWidth << " in " << c.maxWidth;
    }
}

TEST(WrapTextRuns, EmptyParagraphBecomesOneSpaceAndRunsKeepTheirOrder) {
    FixedTextMeasure measure;
    LabelObject object;
    TextLayoutContext context{measure, 0, object, 0.0f};
    const TextLine paragraph{u"a", u" ", u"b", u"c"};
    const mk::Paragraphs text = mk::test::paragraphsOf({paragraph, {}});
    const auto lines = mk::test::linesOf(text, mk::wrapTextRuns(context, text, 20));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (TextLine{u"a", u" "}));  // a space may end a line
    EXPECT_EQ(lines[1], (TextLine{u"b", u"c"}));
    EXPECT_EQ(lines[2], (TextLine{u" "}));
}

}  // namespace
