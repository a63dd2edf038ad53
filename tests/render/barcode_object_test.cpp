#include "render/barcode_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "portable/utf_convert.h"
#include "render/barcode_adapter.h"
#include "render/barcode_decode.h"
#include "render/barcode_kinds.h"
#include "render/label_surface.h"
#include "render/object_font.h"
#include "render/units.h"

namespace {

namespace platform = mk::platform;

// Text in pure red and bearer boxes in pure blue tell them apart from the black bars.
constexpr uint32_t kRedArgb = 0xFFFF0000u;
constexpr uint32_t kBlueArgb = 0xFF0000FFu;
constexpr float kX = 10.0f;  // mm
constexpr float kY = 15.0f;

struct Label {
    std::unique_ptr<uint8_t, mk::PixelBuffer::Free> pixels;
    int width = 0;
    int height = 0;
    int stride = 0;

    const uint8_t* at(int x, int y) const { return pixels.get() + static_cast<size_t>(y) * stride + x * 4; }
    bool is(int x, int y, uint8_t r, uint8_t g, uint8_t b) const {
        const uint8_t* p = at(x, y);
        return p[2] == r && p[1] == g && p[0] == b;
    }
    bool red(int x, int y) const { return is(x, y, 255, 0, 0); }
    bool blue(int x, int y) const { return is(x, y, 0, 0, 255); }
    bool white(int x, int y) const { return is(x, y, 255, 255, 255); }
};

// The box of the pixels a test picks; empty (right < left) when there are none.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right and bottom inclusive
    bool empty() const { return right < left; }
};

template <typename Pick>
Box boxOf(const Label& label, Pick pick, int x0 = 0, int x1 = -1) {
    if (x1 < 0) x1 = label.width;
    Box box;
    for (int y = 0; y < label.height; ++y)
        for (int x = x0; x < x1; ++x)
            if (pick(x, y)) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

Box textBox(const Label& label, int x0 = 0, int x1 = -1) {
    return boxOf(
        label, [&](int x, int y) { return label.red(x, y); }, x0, x1);
}

LabelObject barcode(std::string kind, std::string data) {
    LabelObject object;
    object.ObjectName = "barcode1";
    object.barcodekind = std::move(kind);
    object.objectdata = std::move(data);
    object.Xposition = kX;
    object.Yposition = kY;
    object.barcodescale = 2.0f;
    object.barcodeheight = 12.0f;
    object.textfont = "Arial";
    object.fontsize = 8.0f;
    object.textColor = kRedArgb;
    object.barcodeColor = kBlueArgb;
    object.textposition = 0;
    object.textGap = 1.0f;
    return object;
}

Label render(const LabelObject& object, int dpi) {
    LabelDoc doc;
    doc.labelwidth = 104.0f;
    doc.labelheight = 75.0f;
    mk::appendObject(doc, object);
    Label label;
    void* pixels = nullptr;
    EXPECT_TRUE(mk::renderLabelForHost(doc, dpi, &pixels, &label.width, &label.height, &label.stride));
    label.pixels.reset(static_cast<uint8_t*>(pixels));
    return label;
}

mk::BarcodeBitmap symbolOf(const LabelObject& object, int dpi) {
    mk::BarcodeBitmap b;
    mk::generateBarcode(b, mk::barcodeRequestFor(object, dpi));
    return b;
}

bool allWhite(const Label& label) {
    return boxOf(label, [&](int x, int y) { return !label.white(x, y); }).empty();
}

struct Sample {
    const char* kind;
    const char* data;
    const char* decoded;  // what a scanner reads back
};

// Every drawable kind with data it accepts.
const Sample kAllKinds[] = {
    {"Code 128 Auto", "MK-2024/ab", "MK-2024/ab"},
    {"Code 128 A", "ABC123", "ABC123"},
    {"Code 128 B", "abc-123", "abc-123"},
    {"Code 128 C", "12345678", "12345678"},
    {"EAN-13", "590123412345", "5901234123457"},
    {"QR Code(2D)", "https://mklabel.test/q?id=42", "https://mklabel.test/q?id=42"},
    {"PDF 417(2D)", "PDF417 label 0042", "PDF417 label 0042"},
    {"Code 39", "CODE-39 42", "CODE-39 42"},
    {"Code 39 Extended", "Ext 39a", "Ext 39a"},
    {"Code 93", "CODE93-42", "CODE93-42"},
    {"UPC-A", "01234567890", "012345678905"},
    {"UPC-E", "0123456", "01234565"},
    {"UPC 2 Digit Ext.", "12", nullptr},
    {"UPC 5 Digit Ext.", "12345", nullptr},
    {"EAN-8", "96385074", "96385074"},
    {"ITF-14", "1234567890123", nullptr},
    {"Data Matrix(2D)", "Data Matrix 42", "Data Matrix 42"},
    {"GS1-128", "(01)09501101530003(10)AB12", "010950110153000310AB12"},
    {"GS1 Data Matrix(2D)", "(01)09501101530003(10)AB12", "010950110153000310AB12"},
    {"GS1 QR Code(2D)", "(01)09501101530003(10)AB12", "010950110153000310AB12"},
    {"GS1 DataBar Expanded Stacked", "(01)09501101530003(10)AB12", nullptr},
    {"Interleaved 2 of 5", "12345678", "12345678"},
    {"Industrial 2 of 5", "12345678", nullptr},
    {"Standard 2 of 5", "12345678", nullptr},
    {"Aztec Code(2D)", "Aztec 42", "Aztec 42"},
    {"GridMatrix(2D)", "Grid 42", nullptr},
    {"\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81(2D)", "Han Xin 42", nullptr},
};

TEST(BarcodeRequestFor, Pdf417SizeComesFromTheAutomaticFieldsWhenSet) {
    struct Case {
        int rowsAuto, rows, columnsAuto, columns;
        int expectedRows, expectedColumns;
    };
    const Case cases[] = {
        {3, 7, 1, 9, 3, 1},
        {0, 7, 0, 9, 7, 9},
        {-1, 5, 2, 0, 5, 2},
        {1, 0, -4, -2, 1, -2},
    };
    for (const Case& c : cases) {
        LabelObject object = barcode("PDF 417(2D)", "x");
        object.pdf417_rows_auto = c.rowsAuto;
        object.pdf417_rows = c.rows;
        object.pdf417_columns_auto = c.columnsAuto;
        object.pdf417_columns = c.columns;
        const mk::BarcodeRequest r = mk::barcodeRequestFor(object, 300);
        EXPECT_EQ(r.pdf417Rows, c.expectedRows);
        EXPECT_EQ(r.pdf417Columns, c.expectedColumns);
        EXPECT_EQ(r.dpi, 300);
        EXPECT_FALSE(r.showText);
    }
}

TEST(DrawBarcodeObject, EveryDrawableKindHasASample) {
    const std::vector<std::string_view>& names = mk::drawableBarcodeKindNames();
    ASSERT_EQ(std::size(kAllKinds), names.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(kAllKinds[i].kind, names[i]);
}

bool isMatrixKind(std::string_view kind) {
    return kind.find("Matrix") != std::string_view::npos || kind.find("Aztec") != std::string_view::npos;
}

TEST(DrawBarcodeObject, ScannersReadTheLabel) {
    for (const Sample& s : kAllKinds) {
        if (s.decoded == nullptr) continue;
        for (int dpi : {203, 300}) {
            for (float moduleWidth : {2.0f, 3.0f}) {
                LabelObject object = barcode(s.kind, s.data);
                object.barcodescale = moduleWidth;
                object.textColor = 0xFF000000u;
                object.barcodeColor = 0xFF000000u;
                // The decoder's finders for these take nearby text for part of the symbol.
                if (isMatrixKind(s.kind)) object.textposition = 2;
                const Label label = render(object, dpi);
                // What a scanner aims at: the symbol with some label round it.
                const int margin = 40;
                const int left = mk::mmToDots(kX, dpi) - margin;
                const int top = mk::mmToDots(kY, dpi) - margin;
                const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
                const int width = std::min(symbol.width + 2 * margin, label.width - left);
                const int height =
                    std::min(symbol.height + (object.textposition == 2 ? 2 : 3) * margin, label.height - top);
                const mktest::Decoded d = mktest::decodeBgrx(label.at(left, top), width, height, label.stride);
                EXPECT_EQ(d.text, s.decoded) << s.kind << " at " << dpi << " dpi, module " << moduleWidth;
            }
        }
    }
}

TEST(DrawBarcodeObject, SymbolLandsPixelForPixelAtItsPosition) {
    for (const Sample& s : kAllKinds) {
        for (int dpi : {203, 300}) {
            LabelObject object = barcode(s.kind, s.data);
            object.textposition = 2;
            const Label label = render(object, dpi);
            const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
            ASSERT_GT(symbol.width, 0) << s.kind;
            const int x = mk::mmToDots(kX, dpi);
            const int y = mk::mmToDots(kY, dpi);
            int mismatches = 0;
            for (int row = 0; row < symbol.height; ++row)
                for (int col = 0; col < symbol.width; ++col)
                    mismatches +=
                        std::memcmp(label.at(x + col, y + row), &symbol.pixels[row * symbol.stride + col * 4], 3) != 0;
            EXPECT_EQ(mismatches, 0) << s.kind << " at " << dpi << " dpi";
            const Box ink = boxOf(label, [&](int px, int py) { return !label.white(px, py) && !label.blue(px, py); });
            EXPECT_GE(ink.left, x) << s.kind;
            EXPECT_GE(ink.top, y) << s.kind;
            EXPECT_LT(ink.right, x + symbol.width) << s.kind;
            EXPECT_LT(ink.bottom, y + symbol.height) << s.kind;
        }
    }
}

TEST(DrawBarcodeObject, OnlyListedKindsWithDataAreDrawn) {
    struct Case {
        const char* kind;
        const char* data;
    };
    const Case cases[] = {
        {"code 39", "ABC"},   {"Code 39 ", "ABC"}, {"EAN13", "590123412345"},
        {"Codabar", "A123B"}, {"Code 128", "ABC"}, {"Code 128 Auto", ""},
    };
    for (const Case& c : cases) EXPECT_TRUE(allWhite(render(barcode(c.kind, c.data), 203))) << '"' << c.kind << '"';
}

TEST(DrawBarcodeObject, DataZintRefusesDrawsNothingNotEvenText) {
    testing::internal::CaptureStdout();
    const Label label = render(barcode("EAN-13", "ABC"), 203);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(allWhite(label));
    EXPECT_EQ(out.rfind("[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"ABC\" sym=15 err=6: ", 0), 0u) << out;
}

// The cell height of the object's font, which positions text above a symbol.
int cellHeight(const LabelObject& object, int dpi) {
    return mk::createObjectFont(object, object.fontsize, dpi)->cellHeight();
}

TEST(DrawBarcodeText, SitsTheGapBelowOrAboveTheSymbol) {
    for (const char* kind : {"Code 128 Auto", "EAN-13"}) {
        for (int dpi : {203, 300}) {
            LabelObject object = barcode(kind, "590123412345");
            const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
            const int y = mk::mmToDots(kY, dpi);
            const int gap = mk::mmToDots(object.textGap, dpi);
            const int cell = cellHeight(object, dpi);
            // Below: the cell starts the gap under the symbol (EAN: under the bar height asked for).
            const int lineTop =
                kind[0] == 'E' ? y + mk::mmToDots(object.barcodeheight, dpi) + gap : y + symbol.height + gap;
            const Box below = textBox(render(object, dpi));
            ASSERT_FALSE(below.empty()) << kind;
            EXPECT_GE(below.top, lineTop) << kind;
            EXPECT_LT(below.bottom, lineTop + cell) << kind;

            object.textposition = 1;
            const Box above = textBox(render(object, dpi));
            ASSERT_FALSE(above.empty()) << kind;
            EXPECT_LT(above.bottom, y - gap) << kind;
            EXPECT_GE(above.top, y - gap - cell) << kind;

            object.textposition = 2;
            EXPECT_TRUE(textBox(render(object, dpi)).empty()) << kind;
        }
    }
}

TEST(DrawBarcodeText, AlignsGeneralTextToTheSymbol) {
    const int dpi = 203;
    LabelObject object = barcode("Code 128 Auto", "ALIGN 12345678");
    const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
    const int left = mk::mmToDots(kX, dpi);
    const int right = left + symbol.width;
    const int slack = 4;  // glyph side bearings

    object.textalign = 0;
    const Box l = textBox(render(object, dpi));
    EXPECT_NEAR(l.left, left, slack);
    EXPECT_LT(l.right, right - 40);

    object.textalign = 1;
    const Box r = textBox(render(object, dpi));
    EXPECT_NEAR(r.right + 1, right, slack);
    EXPECT_EQ(r.right - r.left, l.right - l.left);

    object.textalign = 2;
    const Box c = textBox(render(object, dpi));
    EXPECT_NEAR((c.left + c.right + 1) / 2, (left + right) / 2, slack);

    object.textalign = 3;  // spread: first character at the left edge, last one ending at the right
    const Box s = textBox(render(object, dpi));
    EXPECT_NEAR(s.left, left, slack);
    EXPECT_NEAR(s.right + 1, right, slack + 14);  // integer spacing leaves up to n - 1 dots short

    object.textalign = 9;  // unknown values align left
    EXPECT_EQ(textBox(render(object, dpi)).left, l.left);
}

// EAN-13 text: one digit in the quiet zone, then two groups of six under the bars.
TEST(DrawBarcodeText, EanDigitGroupsNeedTheirCharacters) {
    const int dpi = 203;
    const float m = 2.0f;
    for (const char* data : {"590123412345", "5901234123457"}) {
        LabelObject object = barcode("EAN-13", data);
        object.barcodescale = m;
        object.fontsize = 6.0f;  // digits narrower than the 7 modules they stand for
        const Label label = render(object, dpi);
        const int x = mk::mmToDots(kX, dpi);
        const auto groupHasText = [&](int from, int to) {
            return !textBox(label, x + static_cast<int>(from * m), x + static_cast<int>(to * m)).empty();
        };
        EXPECT_TRUE(groupHasText(0, 5)) << data;
        EXPECT_TRUE(groupHasText(15, 57)) << data;
        // 12 digits: the third group would need characters 7 to 12.
        EXPECT_EQ(groupHasText(61, 104), std::string(data).size() == 13) << data;
        EXPECT_FALSE(groupHasText(6, 14)) << data;
        // One digit is never spread: it starts at module 0.
        EXPECT_NEAR(textBox(label, x, x + static_cast<int>(5 * m)).left, x, 3) << data;
    }
}

TEST(DrawBarcodeText, DigitGroupsSpreadOverTheirModules) {
    const int dpi = 300;
    const float m = 3.0f;
    LabelObject object = barcode("EAN-13", "5901234123457");
    object.barcodescale = m;
    const Label label = render(object, dpi);
    const int x = mk::mmToDots(kX, dpi);
    const Box second = textBox(label, x + static_cast<int>(15 * m), x + static_cast<int>(58 * m));
    EXPECT_NEAR(second.left, x + 15 * m, 3);
    EXPECT_NEAR(second.right + 1, x + 57 * m, 3);
    const Box third = textBox(label, x + static_cast<int>(61 * m), x + static_cast<int>(104 * m));
    EXPECT_NEAR(third.left, x + 61 * m, 3);
    EXPECT_NEAR(third.right + 1, x + 103 * m, 3);
}

// Each digit group starts and ends where it belongs, measured in modules
// from the first bar on the label: a group spread over its modules meets
// both ends, a single digit starts at its module, the trailing digit ends at
// the symbol's right edge; a single digit stays clear of the bars. EAN-8's first group stands one module right of
// its bars (3 to 31). Nothing is drawn outside the groups.
TEST(DrawBarcodeText, EanAndUpcDigitsStandUnderTheirBars) {
    enum Anchor { kStart = 1, kEnd = 2, kBoth = 3 };
    struct Span {
        float from, to;  // modules from the first bar
        int anchor;      // which of its ends the group's ink must meet
    };
    struct Case {
        const char* kind;
        const char* data;
        std::vector<Span> spans;
    };
    const Case cases[] = {
        {"EAN-8", "96385074", {{4, 32, kBoth}, {36, 64, kBoth}}},
        {"EAN-13", "5901234123457", {{-11, 0, kStart}, {4, 46, kBoth}, {50, 92, kBoth}}},
        {"UPC-A", "012345678905", {{-9, 0, kStart}, {10, 45, kBoth}, {50, 85, kBoth}, {95, 104, kEnd}}},
        {"UPC-E", "01234565", {{-9, 0, kStart}, {3, 45, kBoth}, {51, 58, kEnd}}},
    };
    const int dpi = 300;
    const int m = 3;
    // Ink stands inside its end by a glyph's side bearing: less than this many modules.
    const float bearing = 0.75f;
    for (const Case& c : cases) {
        LabelObject object = barcode(c.kind, c.data);
        object.barcodescale = static_cast<float>(m);
        object.fontsize = 6.0f;
        const Label label = render(object, dpi);
        const int top = mk::mmToDots(kY, dpi);
        int firstBar = 0;
        while (firstBar < label.width && !label.is(firstBar, top, 0, 0, 0)) ++firstBar;
        ASSERT_LT(firstBar, label.width) << c.kind;
        const auto module = [&](int x) { return static_cast<float>(x - firstBar) / m; };
        const auto dot = [&](float module) { return firstBar + static_cast<int>(module * m); };
        int inked = 0;
        for (const Span& s : c.spans) {
            const Box box = textBox(label, dot(s.from - 2), dot(s.to + 2));
            ASSERT_FALSE(box.empty()) << c.kind << ": no text at module " << s.from;
            inked += box.right - box.left + 1;
            const float left = module(box.left);
            const float right = module(box.right + 1);
            EXPECT_GT(left, s.from - 0.25f) << c.kind << " at module " << s.from;
            EXPECT_LT(right, s.to + 0.25f) << c.kind << " at module " << s.from;
            if (s.anchor & kStart) {
                EXPECT_LT(left, s.from + bearing) << c.kind << " at module " << s.from;
            }
            if (s.anchor & kEnd) {
                EXPECT_GT(right, s.to - bearing) << c.kind << " at module " << s.from;
            }
        }
        const Box all = textBox(label);
        int columns = 0;
        for (int x = all.left; x <= all.right; ++x) columns += !textBox(label, x, x + 1).empty();
        EXPECT_LE(columns, inked) << c.kind << ": text outside the groups";
    }
}

TEST(DrawBarcodeText, UpcTrailingDigitEndsAtTheSymbolsRightEdge) {
    const int dpi = 203;
    const float m = 2.0f;
    for (const char* data : {"01234567890", "012345678905"}) {
        LabelObject object = barcode("UPC-A", data);
        object.barcodescale = m;
        const Label label = render(object, dpi);
        const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
        const int x = mk::mmToDots(kX, dpi);
        const Box trailing = textBox(label, x + static_cast<int>(95 * m), label.width);
        if (std::string(data).size() == 12) {
            ASSERT_FALSE(trailing.empty());
            EXPECT_NEAR(trailing.right + 1, x + symbol.width, 3);
        } else {
            EXPECT_TRUE(trailing.empty()) << "character 11 is missing, nothing trails";
        }
    }
}

TEST(DrawBarcodeText, AddOnDigitsFollowTheAlignmentOnTheDigitLine) {
    const int dpi = 203;
    LabelObject object = barcode("UPC 2 Digit Ext.", "12");
    object.textalign = 0;
    const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
    const Box text = textBox(render(object, dpi));
    const int x = mk::mmToDots(kX, dpi);
    const int y = mk::mmToDots(kY, dpi);
    const int lineTop = y + mk::mmToDots(object.barcodeheight, dpi) + mk::mmToDots(object.textGap, dpi);
    EXPECT_NEAR(text.left, x, 3);
    EXPECT_GE(text.top, lineTop);
    EXPECT_LT(text.top, y + symbol.height + mk::mmToDots(object.textGap, dpi)) << "placed by the bar height asked for";
}

// Draws text the plain way, one character after another from (x, y), for comparison.
Label referenceText(const LabelObject& object, int dpi, int x, int y, const std::string& text) {
    LabelObject blank = object;
    blank.objectdata.clear();
    Label label = render(blank, dpi);
    const platform::FontHandle font = mk::createObjectFont(object, object.fontsize, dpi);
    const platform::PixelTarget target{label.pixels.get(), label.width, label.height, label.stride};
    int pen = x;
    for (char16_t c : platform::utf8ToUtf16(text)) {
        const std::u16string one(1, c);
        font->draw(target, pen, y, 1.0, one, mk::rgbToColorref(object.textColor));
        pen += font->measure(one).cx;
    }
    return label;
}

bool sameText(const Label& a, const Label& b) {
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.red(x, y) != b.red(x, y)) return false;
    return true;
}

TEST(DrawBarcodeText, ShowsTheDataAsStoredWithCode39Stars) {
    struct Case {
        const char* kind;
        const char* data;
        bool startStop;
        const char* shown;
    };
    const Case cases[] = {
        {"Code 39", "ab-12", true, "*AB-12*"},          {"Code 39", "ab-12", false, "AB-12"},
        {"Code 39 Extended", "ab-12", true, "*ab-12*"}, {"Code 128 Auto", "ab-12", true, "ab-12"},
        {"Code 128 Auto", "A<CR>B", true, "A<CR>B"},    {"GS1-128", "(01)09501101530003", true, "(01)09501101530003"},
    };
    const int dpi = 203;
    for (const Case& c : cases) {
        LabelObject object = barcode(c.kind, c.data);
        object.textalign = 0;
        object.code39StartStop = c.startStop;
        const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
        ASSERT_GT(symbol.width, 0) << c.kind;
        const int x = mk::mmToDots(kX, dpi);
        const int y = mk::mmToDots(kY, dpi) + symbol.height + mk::mmToDots(object.textGap, dpi);
        EXPECT_TRUE(sameText(render(object, dpi), referenceText(object, dpi, x, y, c.shown)))
            << c.kind << " " << c.data;
    }
}

TEST(DrawBarcodeObject, Itf14GetsABearerBoxRoundTheSymbol) {
    const int dpi = 203;
    LabelObject object = barcode("ITF-14", "1234567890123");
    object.barcodeColor = kBlueArgb;
    object.textposition = 2;
    object.barcodescale = 2.0f;  // pen of 10 dots
    const Label label = render(object, dpi);
    const mk::BarcodeBitmap symbol = symbolOf(object, dpi);
    const int x = mk::mmToDots(kX, dpi);
    const int y = mk::mmToDots(kY, dpi);
    const Box box = boxOf(label, [&](int px, int py) { return label.blue(px, py); });
    EXPECT_EQ(box.left, x - 10);
    EXPECT_EQ(box.top, y - 10);
    EXPECT_EQ(box.right, x + symbol.width + 9);
    EXPECT_EQ(box.bottom, y + symbol.height + 9);
    const int midY = y + symbol.height / 2;
    EXPECT_TRUE(label.blue(x - 1, midY));
    EXPECT_FALSE(label.blue(x, midY));
    EXPECT_TRUE(label.blue(x + symbol.width, midY));
    EXPECT_FALSE(label.blue(x + symbol.width - 1, midY));
    EXPECT_TRUE(label.white(x + symbol.width / 2, y - 11));

    object.barcodescale = 0.05f;  // pen width rounds to 0: no box, the symbol still drawn
    const Label thin = render(object, dpi);
    EXPECT_TRUE(boxOf(thin, [&](int px, int py) { return thin.blue(px, py); }).empty());
    EXPECT_FALSE(allWhite(thin));

    object.barcodekind = "Interleaved 2 of 5";
    object.barcodescale = 2.0f;
    const Label plain = render(object, dpi);
    EXPECT_TRUE(boxOf(plain, [&](int px, int py) { return plain.blue(px, py); }).empty());
}

TEST(DrawBarcodeText, LeavesTheTextStateSetAndEverythingElseAsItWas) {
    for (int position : {0, 1, 2}) {
        auto dc = platform::DeviceContext::create(400, 300);
        ASSERT_NE(dc, nullptr);
        LabelObject object = barcode("Code 128 Auto", "STATE");
        object.Xposition = 2.0f;
        object.Yposition = 8.0f;
        object.textposition = position;
        mk::DrawBudget budget;
        mk::drawBarcodeObject(*dc, object, 203, budget);
        const bool text = position != 2;
        EXPECT_EQ(dc->backgroundMode(),
                  text ? platform::BackgroundMode::Transparent : platform::BackgroundMode::Opaque);
        EXPECT_EQ(dc->textColor(), text ? mk::rgbToColorref(kRedArgb) : platform::kBlack);
        EXPECT_EQ(dc->pen().width, 1);
        EXPECT_FALSE(dc->brush().hollow);
    }
}

}  // namespace
