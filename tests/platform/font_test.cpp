#include "platform/font.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_context.h"
#include "platform/linux/font_face.h"
#include "platform/linux/glyph_memo.h"
#include "support/ink_box.h"

namespace {

using namespace mk::platform;
using mk::test::inkBox;

FontHandle font(std::u16string face, int height, int weight = 400, bool italic = false) {
    LogFont request;
    request.height = height;
    request.weight = weight;
    request.italic = italic;
    request.faceName = std::move(face);
    return createFont(request);
}

struct AliasCase {
    const char16_t* face;
    const char* family;
};

class FaceAliases : public testing::TestWithParam<AliasCase> {};

TEST_P(FaceAliases, LabelFaceNamesResolveToInstalledFaces) {
    const FontHandle f = font(GetParam().face, -34);
    EXPECT_EQ(f->familyFor(U'A'), GetParam().family);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FaceAliases,
    testing::Values(AliasCase{u"Arial", "Liberation Sans"}, AliasCase{u"arial", "Liberation Sans"},
                    AliasCase{u"Helvetica", "Liberation Sans"}, AliasCase{u"Times New Roman", "Liberation Serif"},
                    AliasCase{u"Courier New", "Liberation Mono"}, AliasCase{u"\u9ED1\u4F53", "WenQuanYi Zen Hei"},
                    AliasCase{u"SimHei", "WenQuanYi Zen Hei"},
                    AliasCase{u"\u5FAE\u8F6F\u96C5\u9ED1", "WenQuanYi Zen Hei"},
                    AliasCase{u"Microsoft YaHei", "WenQuanYi Zen Hei"}, AliasCase{u"\u5B8B\u4F53", "WenQuanYi Zen Hei"},
                    AliasCase{u"SimSun", "WenQuanYi Zen Hei"}, AliasCase{u"\u65B0\u5B8B\u4F53", "WenQuanYi Zen Hei"},
                    AliasCase{u"NSimSun", "WenQuanYi Zen Hei"}, AliasCase{u"\u6977\u4F53", "WenQuanYi Zen Hei"},
                    AliasCase{u"KaiTi", "WenQuanYi Zen Hei"}, AliasCase{u"\u4EFF\u5B8B", "WenQuanYi Zen Hei"},
                    AliasCase{u"FangSong", "WenQuanYi Zen Hei"}, AliasCase{u"Liberation Serif", "Liberation Serif"}));

TEST(Font, MetricsAreTheWinAscentAndDescentAndHintedAdvances) {
    // Liberation Sans at an em of 34 pixels (12 pt at 203 dpi).
    const FontHandle arial = font(u"Arial", -34);
    EXPECT_EQ(arial->emPixels(), 34);
    EXPECT_EQ(arial->ascent(), 31);
    EXPECT_EQ(arial->cellHeight(), 38);
    struct Case {
        const char16_t* text;
        int cx;
    };
    for (const Case c :
         {Case{u"H", 25}, Case{u"e", 18}, Case{u"l", 7}, Case{u"o", 18}, Case{u" ", 9}, Case{u"0123456789", 190},
          Case{u"Hello", 25 + 18 + 7 + 7 + 18}, Case{u"\u4E2D", 34}, Case{u"", 0}}) {
        const TextExtent extent = arial->measure(c.text);
        EXPECT_EQ(extent.cx, c.cx);
        EXPECT_EQ(extent.cy, 38) << "the height does not depend on the text";
    }
}

TEST(Font, PositiveHeightAsksForTheCellAndZeroForTheDefault) {
    EXPECT_EQ(font(u"Arial", 38)->cellHeight(), 38);
    EXPECT_EQ(font(u"Arial", 0)->emPixels(), 16);
    EXPECT_EQ(font(u"Arial", -1000000)->emPixels(), 16384);
}

TEST(Font, MissingCharactersComeFromAFallbackFaceThatHasThem) {
    const FontHandle arial = font(u"Arial", -30);
    EXPECT_EQ(arial->familyFor(U'\u4E2D'), "WenQuanYi Zen Hei");
    EXPECT_TRUE(arial->covers(u"Label \u4E2D\u6587 \u6807\u7B7E"));
    // A code point nobody has (a private-use character) is the face's box.
    EXPECT_FALSE(arial->covers(u"\uE000"));
    EXPECT_EQ(arial->familyFor(U'\uE000'), "");
    EXPECT_GT(arial->measure(u"\uE000").cx, 0);
}

TEST(Font, ASecondUseOfAFaceMakesNoLookups) {
    // A face name nothing else in the tests uses, so the first use resolves.
    const FontHandle first = font(u"Courier New", -41, 700);
    first->measure(u"Mk \u4E2D\u6587");
    const uint64_t before = fontLookupCount();
    const FontHandle again = font(u"Courier New", -23, 700);
    again->measure(u"Mk \u4E2D\u6587");
    auto dc = DeviceContext::create(200, 50);
    dc->selectFont(again);
    dc->textOut(0, 0, u"Mk \u4E2D\u6587");
    EXPECT_EQ(fontLookupCount(), before);
}

TEST(Font, SyntheticBoldAndItalicWhenTheFaceHasNeither) {
    const FontHandle regular = font(u"\u9ED1\u4F53", -40);
    const FontHandle bold = font(u"\u9ED1\u4F53", -40, 700);
    const FontHandle italic = font(u"\u9ED1\u4F53", -40, 400, true);
    EXPECT_GT(bold->measure(u"\u4E2D\u6587").cx, regular->measure(u"\u4E2D\u6587").cx);
    EXPECT_EQ(italic->measure(u"\u4E2D\u6587").cx, regular->measure(u"\u4E2D\u6587").cx);

    auto draw = [](const FontHandle& f) {
        auto dc = DeviceContext::create(120, 60);
        dc->selectFont(f);
        dc->setBackgroundMode(BackgroundMode::Transparent);
        dc->textOut(20, 5, u"l");
        return dc;
    };
    const auto r = draw(regular);
    const auto b = draw(bold);
    const auto i = draw(italic);
    EXPECT_GT(inkBox(*b).count, inkBox(*r).count * 5 / 4);
    // A slanted upright stroke leans right: its top is right of its bottom.
    const auto rTop = inkBox(*r, 0, inkBox(*r).top, 120, inkBox(*r).top + 3);
    const auto iTop = inkBox(*i, 0, inkBox(*i).top, 120, inkBox(*i).top + 3);
    const auto iBottom = inkBox(*i, 0, inkBox(*i).bottom - 3, 120, inkBox(*i).bottom);
    EXPECT_GT(iTop.left, iBottom.left + 3);
    EXPECT_GT(inkBox(*i).width(), inkBox(*r).width() + 3);
    EXPECT_GT(rTop.count, 0);
}

TEST(Font, RealBoldFaceIsUsedWhenInstalled) {
    const FontHandle bold = font(u"Arial", -34, 700);
    // Liberation Sans Bold's own advances, not the regular ones emboldened.
    EXPECT_EQ(bold->measure(u"H").cx, 25);
    EXPECT_EQ(bold->measure(u"e").cx, 19);
}

TEST(Font, GlyphsAreOneBitInTheTextColourAndClippedToTheSurface) {
    auto dc = DeviceContext::create(100, 40);
    dc->selectFont(font(u"Arial", -30));
    dc->setBackgroundMode(BackgroundMode::Transparent);
    dc->setTextColor(0x00336699u);
    dc->textOut(-10, -8, u"Wg\u4E2D");
    dc->textOut(80, 20, u"Wg\u4E2D");
    int64_t inked = 0;
    for (int y = 0; y < dc->height(); ++y) {
        for (int x = 0; x < dc->width(); ++x) {
            const Colorref c = mk::test::pixelAt(*dc, x, y);
            ASSERT_TRUE(c == kWhite || c == 0x00336699u) << x << "," << y;
            inked += c != kWhite;
        }
    }
    EXPECT_GT(inked, 100);
}

TEST(Font, OpaqueModeFillsTheCellWithTheBackgroundColour) {
    auto dc = DeviceContext::create(200, 60);
    const FontHandle arial = font(u"Arial", -34);
    dc->selectFont(arial);
    dc->setBackgroundColor(0x0000FF00u);
    dc->textOut(10, 5, u"Hello");
    const auto cell = inkBox(*dc);
    EXPECT_EQ(cell.left, 10);
    EXPECT_EQ(cell.top, 5);
    EXPECT_EQ(cell.width(), arial->measure(u"Hello").cx);
    EXPECT_EQ(cell.height(), 38);
}

TEST(Font, HorizontalScaleNarrowsGlyphsAdvancesAndPosition) {
    auto draw = [](float scale) {
        auto dc = DeviceContext::create(400, 60);
        dc->selectFont(font(u"Arial", -34));
        dc->setBackgroundMode(BackgroundMode::Transparent);
        dc->setGraphicsMode(GraphicsMode::Advanced);
        dc->setWorldTransform(WorldTransform{scale, 0, 0, 1, 0, 0});
        dc->textOut(100, 5, u"HHHH");
        return inkBox(*dc);
    };
    const auto full = draw(1.0f);
    const auto half = draw(0.5f);
    EXPECT_NEAR(half.left, full.left / 2, 1);
    EXPECT_NEAR(half.width(), full.width() / 2, 2);
    EXPECT_EQ(half.top, full.top);
    EXPECT_EQ(half.height(), full.height());
}

TEST(Font, FontsMayBeUsedFromSeveralThreadsAtOnce) {
    const std::vector<std::u16string> faces{u"Arial", u"\u5B8B\u4F53", u"Times New Roman", u"KaiTi"};
    auto work = [&](size_t seed) {
        std::vector<int> widths;
        for (int round = 0; round < 20; ++round) {
            const std::u16string& face = faces[(seed + round) % faces.size()];
            const FontHandle f = font(face, -(20 + round % 7), round % 2 ? 700 : 400);
            auto dc = DeviceContext::create(300, 40);
            dc->selectFont(f);
            dc->textOut(0, 0, u"Mk label \u6807\u7B7E");
            widths.push_back(f->measure(u"Mk label \u6807\u7B7E").cx);
            widths.push_back(static_cast<int>(inkBox(*dc).count));
        }
        return widths;
    };
    std::vector<std::vector<int>> expected;
    for (size_t t = 0; t < 4; ++t) expected.push_back(work(t));
    std::vector<std::vector<int>> results(8);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) threads.emplace_back([&, t] { results[t] = work(t % 4); });
    for (auto& thread : threads) thread.join();
    for (size_t t = 0; t < results.size(); ++t) EXPECT_EQ(results[t], expected[t % 4]) << "thread " << t;
}

}  // namespace

TEST(GlyphMemo, RemembersWhatFitsAndStartsOverWhenFull) {
    GlyphMemo memo(64);
    memo.remember(0, 7);  // key 0 is a key like any other
    memo.remember(uint64_t{1} << GlyphMemo::kKeyBits, 1);  // too long a key
    memo.remember(5, 1u << GlyphMemo::kValueBits);         // too large a value
    EXPECT_EQ(memo.find(0), 7u);
    EXPECT_EQ(memo.find(5), std::nullopt);
    EXPECT_EQ(memo.size(), 1u);
    // Key after key: the table never holds more than three quarters of its
    // slots, and what came last is always found.
    for (uint64_t key = 1; key < 10000; ++key) {
        memo.remember(key, static_cast<uint32_t>(key * 3));
        ASSERT_EQ(memo.find(key), key * 3) << key;
        ASSERT_LE(memo.size(), memo.fullAt()) << key;
    }
    // What it still holds is right.
    for (uint64_t key = 1; key < 10000; ++key) {
        if (const auto value = memo.find(key)) {
            ASSERT_EQ(*value, key * 3) << key;
        }
    }
}

// Draws size after size of a few glyphs, each a new bitmap for the glyph memories.
void drawSizes(int first, int count) {
    auto dc = DeviceContext::create(300, 300);
    for (int height = first; height < first + count; ++height) {
        dc->selectFont(font(u"Arial", -height));
        dc->textOut(0, 0, u"MkW");
        ASSERT_LE(threadGlyphBytes(), kThreadGlyphBytes);
        ASSERT_LE(allThreadsGlyphBytes(), kAllThreadsGlyphBytes);
    }
}

TEST(Font, PerThreadGlyphMemoriesStayWithinTheirBoundsAndGiveTheirBytesBack) {
    const size_t before = allThreadsGlyphBytes();
    std::vector<size_t> kept(12);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kept.size(); ++t) {
        threads.emplace_back([&, t] {
            // Each fills its own memory more than once: it starts over, and the
            // count over all threads follows it down.
            drawSizes(20 + static_cast<int>(t) * 7, 120);
            kept[t] = threadGlyphBytes();
        });
    }
    for (auto& thread : threads) thread.join();
    size_t keptTogether = 0;
    for (const size_t bytes : kept) keptTogether += bytes;
    EXPECT_GT(keptTogether, 0u);
    EXPECT_LE(keptTogether, kAllThreadsGlyphBytes);
    // Ended threads hold nothing.
    EXPECT_EQ(allThreadsGlyphBytes(), before);
    // A thread that drew after them all still keeps what it draws.
    std::thread late([] {
        drawSizes(300, 3);
        EXPECT_GT(threadGlyphBytes(), 0u);
    });
    late.join();
    EXPECT_EQ(allThreadsGlyphBytes(), before);
}
