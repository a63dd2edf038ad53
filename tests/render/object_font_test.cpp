#include "render/object_font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using mk::objectLogFont;

TEST(ObjectFont, HeightIsMinusThePixelEmWithSixteenBelowFive) {
    struct Case {
        float size;
        int dpi;
        int height;
    };
    const Case cases[] = {
        {10.0f, 203, -28}, {10.0f, 300, -42},
        {8.0f, 600, -67},  {1.8f, 203, -5},
        {1.5f, 203, -16},  {1.8f, 96, -16},
        {0.0f, 203, -16},  {-12.0f, 203, -16},
        {NAN, 203, -16},   {1e30f, 203, -std::numeric_limits<int>::max()},
    };
    LabelObject object;
    for (const Case& c : cases) {
        EXPECT_EQ(objectLogFont(object, c.size, c.dpi).height, c.height) << c.size << " pt at " << c.dpi << " dpi";
    }
}

TEST(ObjectFont, StyleGivesWeightAndItalicsOnly) {
    struct Case {
        int style;
        int weight;
        bool italic;
    };
    const Case cases[] = {{0, 400, false}, {1, 700, false}, {2, 400, true},
                          {3, 700, true},  {4, 400, false}, {-1, 400, false}};
    LabelObject object;
    for (const Case& c : cases) {
        object.fontstyle = c.style;
        const auto font = objectLogFont(object, 10.0f, 203);
        EXPECT_EQ(font.weight, c.weight) << "style " << c.style;
        EXPECT_EQ(font.italic, c.italic) << "style " << c.style;
        EXPECT_FALSE(font.underline);
        EXPECT_FALSE(font.strikeOut);
    }
}

TEST(ObjectFont, FaceNameIsArialWhenEmptyAndCutAt31Units) {
    LabelObject object;
    object.textfont = "";
    EXPECT_EQ(objectLogFont(object, 10.0f, 203).faceName, u"Arial");

    object.textfont = "\xE9\xBB\x91\xE4\xBD\x93";  // two CJK characters
    EXPECT_EQ(objectLogFont(object, 10.0f, 203).faceName, u"\u9ED1\u4F53");

    object.textfont = std::string(40, 'F');
    EXPECT_EQ(objectLogFont(object, 10.0f, 203).faceName, std::u16string(31, u'F'));

    // Counted in UTF-16 units, not bytes: 40 three-byte characters keep 31.
    object.textfont.clear();
    for (int i = 0; i < 40; ++i) object.textfont += "\xE4\xBD\x93";
    EXPECT_EQ(objectLogFont(object, 10.0f, 203).faceName, std::u16string(31, u'\u4F53'));
}

TEST(ObjectFont, CreatedFontCarriesTheRequestAndItsEm) {
    LabelObject object;
    object.textfont = "Arial";
    object.fontstyle = 3;
    const auto font = mk::createObjectFont(object, 10.0f, 300);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->request().height, -42);
    EXPECT_EQ(font->request().weight, 700);
    EXPECT_TRUE(font->request().italic);
    EXPECT_EQ(font->emPixels(), 42);
}

}  // namespace
