#include "render/text_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/label_doc.h"
#include "platform/device_context.h"
#include "render/label_surface.h"
#include "render/object_font.h"
#include "render/units.h"
#include "support/ink_box.h"

namespace {

using mk::platform::DeviceContext;
using mk::test::inkBox;
using mk::test::pixelAt;

// Each drawing with a budget of its own, as a call's.
void drawText(DeviceContext& dc, const LabelObject& object, int dpi) {
    mk::DrawBudget budget;
    mk::drawTextObject(dc, object, dpi, budget);
}

constexpr mk::platform::Colorref kBlackRef = mk::platform::kBlack;

LabelObject textObject(std::string data, std::string face = "Arial") {
    LabelObject object;
    object.ObjectName = "text1";
    object.objectdata = std::move(data);
    object.textfont = std::move(face);
    object.Xposition = 5.0f;
    object.Yposition = 4.0f;
    object.fontsize = 10.0f;
    return object;
}

std::unique_ptr<DeviceContext> surface(int dpi) {
    return DeviceContext::create(mk::mmToDots(104.0f, dpi), mk::mmToDots(40.0f, dpi));
}

// The extent the object's own font gives a text.
mk::platform::TextExtent extentOf(const LabelObject& object, std::u16string_view text, int dpi, float size = 0) {
    return mk::createObjectFont(object, size > 0 ? size : object.fontsize, dpi)->measure(text);
}

struct PlacementCase {
    const char* name;
    std::string data;
    std::u16string units;
    std::string face;
    int dpi;
};

class TextPlacement : public testing::TestWithParam<PlacementCase> {};

TEST_P(TextPlacement, FreeTextInksInsideItsCellFromTheAnchor) {
    const PlacementCase& c = GetParam();
    const LabelObject object = textObject(c.data, c.face);
    auto dc = surface(c.dpi);
    drawText(*dc, object, c.dpi);
    const int x0 = mk::mmToDots(object.Xposition, c.dpi);
    const int y0 = mk::mmToDots(object.Yposition, c.dpi);
    const auto extent = extentOf(object, c.units, c.dpi);
    const auto ink = inkBox(*dc);
    ASSERT_GT(ink.count, 0);
    // Glyphs may overhang their advance by a dot or two at the sides.
    EXPECT_GE(ink.left, x0 - 2);
    EXPECT_LE(ink.right, x0 + extent.cx + 2);
    EXPECT_GE(ink.top, y0);
    EXPECT_LE(ink.bottom, y0 + extent.cy);
    EXPECT_GT(ink.width(), extent.cx * 3 / 4);
    EXPECT_GT(ink.height(), extent.cy / 2);
    // The em follows the resolution: 10 pt is 28 dots at 203 dpi, 42 at 300.
    EXPECT_EQ(mk::createObjectFont(object, 10.0f, c.dpi)->emPixels(), c.dpi == 203 ? 28 : 42);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextPlacement,
    testing::Values(
        PlacementCase{"Latin203", "Label 42", u"Label 42", "Arial", 203},
        PlacementCase{"Latin300", "Label 42", u"Label 42", "Arial", 300},
        PlacementCase{"Cjk203", "\xE6\xA0\x87\xE7\xAD\xBE", u"\u6807\u7B7E", "\xE9\xBB\x91\xE4\xBD\x93", 203},
        PlacementCase{"Cjk300", "\xE6\xA0\x87\xE7\xAD\xBE", u"\u6807\u7B7E", "\xE9\xBB\x91\xE4\xBD\x93", 300},
        PlacementCase{"CjkInALatinFace300", "\xE6\xA0\x87\xE7\xAD\xBE", u"\u6807\u7B7E", "Arial", 300}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST(TextObject, BlackBodyTextHasNoMissingGlyphBoxes) {
    LabelObject object = textObject("", "\xE9\xBB\x91\xE4\xBD\x93");  // the default face of new objects
    const auto font = mk::createObjectFont(object, 10.0f, 203);
    EXPECT_TRUE(
        font->covers(u"\u4E2D\u6587\u6807\u7B7E\u6253\u5370\u673A\u6761\u7801 ABC xyz 0123 \uFF08\uFF09\u3002"));
    EXPECT_EQ(font->familyFor(U'\u4E2D'), "WenQuanYi Zen Hei");
}

TEST(TextObject, BoxTextIsWrappedAndCentredOnTheAnchor) {
    LabelObject object = textObject("Wrapped centred box text for labels");
    object.texttype = 1;
    object.textwidth = 20.0f;
    object.texttextalign = 1;
    object.Xposition = 50.0f;
    const int dpi = 203;
    auto dc = surface(dpi);
    drawText(*dc, object, dpi);
    const auto ink = inkBox(*dc);
    const int x0 = mk::mmToDots(50.0f, dpi);
    const int box = mk::mmToDots(20.0f, dpi);
    const int lineHeight = extentOf(object, u"X", dpi).cy;
    ASSERT_GT(ink.count, 0);
    EXPECT_GE(ink.left, x0 - box / 2 - 3);
    EXPECT_LE(ink.right, x0 + box / 2 + 3);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, x0, 4.0);
    EXPECT_GT(ink.height(), 2 * lineHeight);  // at least three lines
}

TEST(TextObject, ReverseDisplayFillsExactlyTheBlockWithWhiteText) {
    LabelObject object = textObject("Reverse");
    object.texttype = 1;
    object.textwidth = 60.0f;
    object.blackbackground = true;
    object.texttextvalign = 2;
    object.textColor = 0xFF000000u;
    object.Yposition = 10.0f;
    const int dpi = 203;
    auto dc = surface(dpi);
    drawText(*dc, object, dpi);
    const int x0 = mk::mmToDots(object.Xposition, dpi);
    const auto extent = extentOf(object, u"Reverse", dpi);
    // Anchored at its bottom edge: the block ends at y0.
    const int top = mk::mmToDots(object.Yposition, dpi) - extent.cy;
    const auto ink = inkBox(*dc);
    EXPECT_EQ(ink.left, x0);
    EXPECT_EQ(ink.top, top);
    EXPECT_EQ(ink.width(), extent.cx);
    EXPECT_EQ(ink.height(), extent.cy);
    int64_t white = 0;
    for (int y = ink.top; y < ink.bottom; ++y) {
        for (int x = ink.left; x < ink.right; ++x) {
            const auto c = pixelAt(*dc, x, y);
            ASSERT_TRUE(c == kBlackRef || c == mk::platform::kWhite);
            white += c == mk::platform::kWhite;
        }
    }
    EXPECT_GT(white, 50);  // the letters, drawn white
}

TEST(TextObject, ZoomNarrowsTextAsTheObjectAsks) {
    const int dpi = 203;
    auto inkOf = [&](LabelObject object) {
        auto dc = surface(dpi);
        drawText(*dc, object, dpi);
        return inkBox(*dc);
    };
    LabelObject plain = textObject("HHHHHHHHHH");
    plain.Xposition = 0.0f;
    const auto full = inkOf(plain);

    LabelObject zoomed = plain;
    zoomed.charHZoom = 0.5f;
    const auto half = inkOf(zoomed);
    EXPECT_NEAR(half.width(), full.width() / 2, 2);
    EXPECT_EQ(half.height(), full.height());

    // Box compression: text twice as wide as its box is drawn at half width.
    LabelObject compressed = plain;
    compressed.texttype = 1;
    compressed.textwidthbeyound = 1;
    compressed.charHZoom = 3.0f;  // plays no part when compressing
    const int width = extentOf(plain, u"HHHHHHHHHH", dpi).cx;
    compressed.textwidth = static_cast<float>(width) / 2.0f / dpi * 25.4f;
    const auto squeezed = inkOf(compressed);
    EXPECT_NEAR(squeezed.width(), full.width() / 2, 3);
}

TEST(TextObject, VerticalTextStandsInColumnsLeftToRight) {
    LabelObject object = textObject("AB\nCD");
    object.isverticaltext = true;
    const int dpi = 203;
    auto dc = surface(dpi);
    drawText(*dc, object, dpi);
    const int x0 = mk::mmToDots(object.Xposition, dpi);
    const int y0 = mk::mmToDots(object.Yposition, dpi);
    const auto a = extentOf(object, u"A", dpi);
    const int columnWidth = std::max(a.cx, extentOf(object, u"B", dpi).cx);
    // A above B in the first column, C above D in the second.
    const auto first = inkBox(*dc, 0, 0, x0 + columnWidth, dc->height());
    const auto second = inkBox(*dc, x0 + columnWidth, 0, dc->width(), dc->height());
    ASSERT_GT(first.count, 0);
    ASSERT_GT(second.count, 0);
    EXPECT_LT(first.right, second.left + 2);
    EXPECT_GE(first.top, y0);
    EXPECT_GT(first.bottom, y0 + a.cy);  // two characters high
    EXPECT_LE(second.bottom, y0 + 2 * a.cy);
    const auto upperA = inkBox(*dc, 0, y0, x0 + columnWidth, y0 + a.cy);
    const auto lowerB = inkBox(*dc, 0, y0 + a.cy, x0 + columnWidth, y0 + 2 * a.cy);
    EXPECT_GT(upperA.count, 0);
    EXPECT_GT(lowerB.count, 0);
}

TEST(TextObject, LeavesTransparentModeAndRestoresFontAndTransform) {
    auto dc = surface(203);
    const auto kept = mk::createObjectFont(textObject("x"), 7.0f, 203);
    dc->selectFont(kept);
    LabelObject object = textObject("Zoomed");
    object.charHZoom = 1.5f;
    object.textColor = 0xFF123456u;
    drawText(*dc, object, 203);
    EXPECT_EQ(dc->font(), kept);
    EXPECT_EQ(dc->backgroundMode(), mk::platform::BackgroundMode::Transparent);
    EXPECT_EQ(dc->textColor(), 0x00563412u);
    EXPECT_EQ(dc->graphicsMode(), mk::platform::GraphicsMode::Compatible);
    EXPECT_EQ(dc->worldTransform().m11, 1.0f);
}

TEST(TextObject, EmptyDataTouchesNothingAndLeadingNulDrawsNothing) {
    auto dc = surface(203);
    drawText(*dc, textObject(""), 203);
    EXPECT_EQ(dc->backgroundMode(), mk::platform::BackgroundMode::Opaque);
    EXPECT_EQ(inkBox(*dc).count, 0);

    drawText(*dc, textObject("<NUL>Hidden"), 203);
    EXPECT_EQ(dc->backgroundMode(), mk::platform::BackgroundMode::Transparent);
    EXPECT_EQ(inkBox(*dc).count, 0);
}

TEST(TextObject, BoxesNarrowerThanElevenDotsUseFreeLayout) {
    const int dpi = 203;
    auto inkOf = [&](float width) {
        LabelObject object = textObject("ABCDEFGH");
        object.texttype = 1;
        object.textwidth = width;
        auto dc = surface(dpi);
        drawText(*dc, object, dpi);
        return inkBox(*dc);
    };
    // 1.3 mm is 10 dots: one line. 1.35 mm is 11 dots: wrapped, one
    // character a line.
    EXPECT_LT(inkOf(1.3f).height(), 40);
    EXPECT_GT(inkOf(1.35f).height(), 6 * 28);
}

TEST(TextObject, MnemonicLineBreaksGiveParagraphs) {
    const int dpi = 203;
    LabelObject object = textObject("A<CR><LF>B");
    auto dc = surface(dpi);
    drawText(*dc, object, dpi);
    const int y0 = mk::mmToDots(object.Yposition, dpi);
    const int h = extentOf(object, u"X", dpi).cy;
    EXPECT_GT(inkBox(*dc, 0, y0, dc->width(), y0 + h).count, 0);              // A
    EXPECT_EQ(inkBox(*dc, 0, y0 + h, dc->width(), y0 + 2 * h).count, 0);      // a space
    EXPECT_GT(inkBox(*dc, 0, y0 + 2 * h, dc->width(), y0 + 3 * h).count, 0);  // B
}

TEST(TextObject, AbsurdFieldValuesDrawWithoutFaultOrHang) {
    struct Case {
        const char* name;
        void (*apply)(LabelObject&);
    };
    const Case cases[] = {
        {"HugePosition",
         [](LabelObject& o) {
             o.Xposition = 1e30f;
             o.Yposition = -1e30f;
         }},
        {"HugeFont", [](LabelObject& o) { o.fontsize = 1e30f; }},
        {"HugeFontShrinking",
         [](LabelObject& o) {
             o.fontsize = 1e30f;
             o.texttype = 1;
             o.textmaxline = 1;
         }},
        {"LargeFontShrinking",
         [](LabelObject& o) {
             o.fontsize = 3000.0f;
             o.texttype = 1;
             o.textmaxline = 1;
         }},
        {"NanFont",
         [](LabelObject& o) {
             o.fontsize = NAN;
             o.texttype = 1;
         }},
        {"HugeZoom",
         [](LabelObject& o) {
             o.charHZoom = 1e30f;
             o.texttextalign = 1;
         }},
        {"HugeBoxZoom",
         [](LabelObject& o) {
             o.charHZoom = 1e30f;
             o.texttype = 1;
             o.texttextalign = 2;
         }},
        {"TinyCompression",
         [](LabelObject& o) {
             o.texttype = 1;
             o.textwidthbeyound = 1;
             o.fontsize = 1e6f;
         }},
        {"HugeGaps",
         [](LabelObject& o) {
             o.texttype = 1;
             o.chargap = 1e30f;
             o.linegap = 1e30f;
             o.linegapindex = 3;
         }},
        {"NegativeGaps",
         [](LabelObject& o) {
             o.texttype = 1;
             o.chargap = -1e30f;
             o.linegap = -1e30f;
             o.linegapindex = 3;
         }},
        {"HugeBox",
         [](LabelObject& o) {
             o.texttype = 1;
             o.textwidth = 1e30f;
             o.blackbackground = true;
         }},
        {"VerticalHuge",
         [](LabelObject& o) {
             o.isverticaltext = true;
             o.linegapindex = 3;
             o.linegap = 1e30f;
             o.texttextalign = 2;
             o.texttextvalign = 1;
             o.blackbackground = true;
         }},
    };
    for (const Case& c : cases) {
        LabelObject object = textObject("Ab\n\xE4\xB8\xAD<CR>\xF0\x9F\x98\x80x");
        object.textwidth = 5.0f;
        c.apply(object);
        auto dc = surface(203);
        drawText(*dc, object, 203);
        EXPECT_EQ(dc->selectFont(nullptr), nullptr) << c.name;  // the font put back: none
    }
}

TEST(TextObject, RenderedLabelsDrawTextObjectsByName) {
    LabelDoc doc;
    doc.labelwidth = 50.0f;
    doc.labelheight = 20.0f;
    mk::appendObject(doc, textObject("Drawn"));
    LabelObject other = textObject("Not drawn");
    other.ObjectName = "Text2";  // names are case-sensitive
    other.Yposition = 12.0f;
    mk::appendObject(doc, other);
    void* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    ASSERT_TRUE(mk::renderLabelForHost(doc, 203, &pixels, &width, &height, &stride));
    std::unique_ptr<uint8_t, mk::PixelBuffer::Free> owned(static_cast<uint8_t*>(pixels));
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    int topInk = 0;
    int bottomInk = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (bytes[y * stride + 4 * x] != 255) (y < mk::mmToDots(10.0f, 203) ? topInk : bottomInk)++;
        }
    }
    EXPECT_GT(topInk, 0);
    EXPECT_EQ(bottomInk, 0);
}

}  // namespace
