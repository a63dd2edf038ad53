#include "render/barcode_adapter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "render/barcode_decode.h"

namespace {

namespace sym = mk::symbology;

mk::BarcodeRequest request(std::string kind, std::string data) {
    mk::BarcodeRequest r;
    r.kind = std::move(kind);
    r.data = std::move(data);
    return r;
}

mk::BarcodeBitmap generate(const mk::BarcodeRequest& r) {
    mk::BarcodeBitmap bitmap;
    mk::generateBarcode(bitmap, r);
    return bitmap;
}

// Runs generateBarcode and returns what it printed on standard output.
std::string generateCapturingOutput(const mk::BarcodeRequest& r, mk::BarcodeBitmap& bitmap) {
    testing::internal::CaptureStdout();
    mk::generateBarcode(bitmap, r);
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

mktest::Decoded decode(const mk::BarcodeBitmap& b) {
    return mktest::decodeBgrx(b.pixels.data(), b.width, b.height, b.stride, 20);
}

TEST(BarcodeKindToSymbology, MapsNamesByWholeNameThenSubstring) {
    struct Case {
        const char* kind;
        int symbology;
        uint32_t subsetA;
    };
    const Case cases[] = {
        {"Code 128", sym::Code128, 0},
        {"Code 128 Auto", sym::Code128, 0},
        {"Code 128 A", sym::Code128AB, 1},
        {"Code 128A", sym::Code128AB, 1},
        {"code 128a", sym::Code128AB, 1},
        {"Code128A", sym::Code128, 0},  // no name and no substring matches
        {"Code 128 B", sym::Code128AB, 0},
        {"Code 128B", sym::Code128AB, 0},
        {"Code 128 C", sym::Code128, 0},
        {"EAN 128 Auto", sym::Gs1_128, 0},
        {"GS1-128", sym::Gs1_128, 0},
        {" ean-13 ", sym::Ean13, 0},
        {"\tJAN13\t", sym::Ean13, 0},
        {"UCC13", sym::Ean13, 0},
        {"EAN 8", sym::Ean8, 0},
        {"UCC12", sym::UpcA, 0},
        {"UPC-E", sym::UpcE, 0},
        {"Code 39", sym::Code39, 0},
        {"CODE 39 EXTENDED", sym::Code39Extended, 0},
        {"Code 93", sym::Code93, 0},
        {"Codabar", sym::Codabar, 0},
        {"Code 11", sym::Code11, 0},
        {"Interleaved 2 of 5", sym::Interleaved2of5, 0},
        {"Industrial 2 of 5", sym::Industrial2of5, 0},
        {"Standard 2 of 5", sym::Standard2of5, 0},
        {"MSI", sym::MsiPlessey, 0},
        {"PostNet", sym::PostNet, 0},
        {"ITF-14", sym::Interleaved2of5, 0},
        {"ITF14", sym::Interleaved2of5, 0},
        {"Bookland", sym::Isbn, 0},
        {"LOGMARS", sym::Logmars, 0},
        {"UPC 2 Digit Ext.", sym::UpcA, 0},
        {"UPC 5 Digit Ext", sym::UpcA, 0},
        {"GS1 DataBar Expanded Stacked(2D)", sym::Gs1DataBarExpandedStacked, 0},
        {"QR Code(2D)", sym::QrCode, 0},
        {"GS1 QR Code(2D)", sym::QrCode, 0},
        {"print a QR CODE here", sym::QrCode, 0},
        {"Data Matrix(2D)", sym::DataMatrix, 0},
        {"GS1 Data Matrix(2D)", sym::DataMatrix, 0},
        {"datamatrix", sym::DataMatrix, 0},
        {"PDF 417(2D)", sym::Pdf417, 0},
        {"PDF417", sym::Pdf417, 0},
        {"Aztec Code(2D)", sym::Aztec, 0},
        {"Aztec or Han Xin", sym::HanXin, 0},
        {"pdf417 datamatrix", sym::DataMatrix, 0},  // parts are tried in one order across kinds
        {"gridmatrix aztec pdf 417", sym::Pdf417, 0},
        {"GridMatrix(2D)", sym::GridMatrix, 0},
        {"Grid Matrix", sym::GridMatrix, 0},
        {"\xE6\xB1\x89\xE4\xBF\xA1\xE7\xA0\x81(2D)", sym::HanXin, 0},
        {"", sym::Code128, 0},
        {" \t ", sym::Code128, 0},
        {"Telepen", sym::Code128, 0},
    };
    for (const Case& c : cases) {
        uint32_t subsetA = 7;
        EXPECT_EQ(mk::barcodeKindToSymbology(c.kind, subsetA), c.symbology) << '"' << c.kind << '"';
        EXPECT_EQ(subsetA, c.subsetA) << '"' << c.kind << '"';
    }
}

TEST(EqualsIgnoreCase, FoldsOnlyAsciiLetters) {
    struct Case {
        std::string a, b;
        bool equal;
    };
    const Case cases[] = {
        {"", "", true},
        {"Code 39", "cODE 39", true},
        {"abc", "abd", false},
        {"abc", "abcd", false},
        {"[", "{", false},  // differ by the letter-case bit but are not letters
        {"@", "`", false},
        {"\xC3\x89", "\xC3\xA9", false},  // non-ASCII letters compare as they are
        {"\xC3\x89", "\xC3\x89", true},
    };
    for (const Case& c : cases) EXPECT_EQ(mk::equalsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;

    const std::string range = "code";
    EXPECT_TRUE(mk::rangeEqualsNoCase(range.data(), range.data() + range.size(), "CODE 39"));
    EXPECT_FALSE(mk::rangeEqualsNoCase(range.data(), range.data() + range.size(), "COD3 39"));
}

TEST(BarcodeFixups, PrepareDataPerSymbology) {
    struct Case {
        const char* kind;
        const char* data;
        const char* expected;
    };
    const Case cases[] = {
        {"Codabar", "12345", "A12345"},
        {"Codabar", "b123", "b123"},
        {"Codabar", "D1", "D1"},
        {"Codabar", "E1", "AE1"},
        {"PostNet", "123", "00123"},
        {"PostNet", "12345", "12345"},
        {"PostNet", "123456", "000123456"},
        {"PostNet", "123456789", "123456789"},
        {"PostNet", "1234567890", "01234567890"},
        {"PostNet", "12345678901", "12345678901"},
        {"PostNet", "123456789012", "123456789012"},
        {"EAN-8", "12+34", "0000012+34"},  // the add-on keeps its digits
        {"EAN-8", "A1", "A1"},              // not digits: left for zint to refuse
        {"EAN-13", "1234567", "000001234567"},
        {"GS1-128", "(01)12345678901231(10)AB", "[01]12345678901231[10]AB"},
        {"GS1-128", "(01", "(01"},
        {"GS1-128", "((01)x", "[(01]x"},
        {"GS1-128", "a)b(c", "a)b(c"},
        {"GS1-128", "(01)(", "[01]("},
        {"GS1 DataBar Expanded Stacked", "(01)1", "[01]1"},
        {"Code 128 Auto", "(01)1", "(01)1"},
        {"QR Code(2D)", "12", "12"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mk::prepareBarcodeData(mk::barcodeKindFor(c.kind), c.data), c.expected) << c.kind << " " << c.data;
}

TEST(GenerateBarcode, EmptyDataGivesEmptyResultAndPrintsNothing) {
    mk::BarcodeBitmap bitmap;
    bitmap.width = 5;
    bitmap.pixels.resize(4);
    EXPECT_EQ(generateCapturingOutput(request("EAN-13", ""), bitmap), "");
    EXPECT_EQ(bitmap.width, 0);
    EXPECT_EQ(bitmap.height, 0);
    EXPECT_EQ(bitmap.stride, 0);
    EXPECT_TRUE(bitmap.pixels.empty());
}

TEST(GenerateBarcode, ZintErrorPrintsOneLineWithTheWorkingData) {
    struct Case {
        const char* kind;
        std::string data;
        std::string prefix;  // the line up to zint's own message
        float barHeightMm = 10.0f;
    };
    const Case cases[] = {
        {"EAN-13", "ABC", "[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"ABC\" sym=15 err=6: "},
        // bars of an add-on symbol shorter than zint can draw them (it aborts, or overwrites its heap)
        {"EAN-13", "590123412345+12", "[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"590123412345+12\" sym=15 err=8: ",
         0.3f},
        // after mnemonics: the line shows byte 13, escaped, not the mnemonic
        {" EAN-13", "1<CR>2", "[generateBarcode] zint ERROR kind=\" EAN-13\" data=\"1\\r2\" sym=15 err=6: "},
        // control bytes, a backslash and bytes that are not UTF-8 are escaped; UTF-8 text stays as it is
        {"EAN-13", "a\nb\x1b[2J\\\xff\xc3\xa9\xc2\x9b",
         "[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"a\\nb\\x1b[2J\\\\\\xff\xc3\xa9\\xc2\\x9b\" sym=15 err=6: "},
        // a double quote and DEL too
        {"EAN-13", "a\"b\x7f", "[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"a\\\"b\\x7f\" sym=15 err=6: "},
        // a byte 0 ends the printed data
        {"EAN-13", "12<NUL>34", "[generateBarcode] zint ERROR kind=\"EAN-13\" data=\"12\" sym=15 err=6: "},
        // after the fix-up: zint 2.11 also wants a stop character, which is not added
        {"Codabar", "12345", "[generateBarcode] zint ERROR kind=\"Codabar\" data=\"A12345\" sym=18 err=6: "},
        // a wrong check digit (0 is right), and more digits than an EAN-8 has
        {"EAN-8", "12345678", "[generateBarcode] zint ERROR kind=\"EAN-8\" data=\"12345678\" sym=10 err=7: "},
        {"EAN-8", "590123412345", "[generateBarcode] zint ERROR kind=\"EAN-8\" data=\"590123412345\" sym=10 err=5: "},
        // more digits than the largest Aztec symbol holds: refused before zint, shown in part
        {"Aztec Code(2D)", std::string(3833, '1'),
         "[generateBarcode] zint ERROR kind=\"Aztec Code(2D)\" data=\"" + std::string(256, '1') +
             "\"...(3833 bytes) sym=92 err=5: "},
    };
    for (const Case& c : cases) {
        mk::BarcodeBitmap bitmap;
        mk::BarcodeRequest r = request(c.kind, c.data);
        r.barHeightMm = c.barHeightMm;
        const std::string out = generateCapturingOutput(r, bitmap);
        EXPECT_EQ(out.rfind(c.prefix, 0), 0u) << out;
        EXPECT_GT(out.size(), c.prefix.size() + 1) << "zint's message is missing: " << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << "not exactly one line: " << out;
        EXPECT_EQ(bitmap.width, 0);
        EXPECT_TRUE(bitmap.pixels.empty());
    }
}

TEST(GenerateBarcode, ZintWarningPrintsTheDataAsGivenAndKeepsTheSymbol) {
    struct Case {
        const char* data;
        const char* prefix;
        const char* decoded;
    };
    const Case cases[] = {
        {"A<CR>B", "[generateBarcode] zint WARNING kind=\"PDF 417(2D)\" data=\"A<CR>B\" sym=55 warn=2: ", "A\rB"},
        {"q\"\x01\x1f\x7f", "[generateBarcode] zint WARNING kind=\"PDF 417(2D)\" data=\"q\\\"\\x01\\x1f\\x7f\" sym=55 warn=2: ",
         "q\"\x01\x1f\x7f"},
    };
    for (const Case& c : cases) {
        mk::BarcodeRequest r = request("PDF 417(2D)", c.data);
        r.pdf417Rows = 3;  // too few rows for the data: zint raises them and warns
        r.pdf417Columns = 1;
        mk::BarcodeBitmap bitmap;
        const std::string out = generateCapturingOutput(r, bitmap);
        EXPECT_EQ(out.rfind(c.prefix, 0), 0u) << out;
        EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
        EXPECT_GT(bitmap.width, 0);
        EXPECT_EQ(decode(bitmap).bytes, c.decoded);
    }
}

// Whatever the data, an error or warning is one line that a terminal shows
// as it is, of a length that does not follow the data's.
TEST(GenerateBarcode, ReportLinesStayOneShortPlainLine) {
    std::string controls;
    for (int c = 1; c < 0x20; ++c) controls += static_cast<char>(c);
    controls += "\x7f\"";
    struct Case {
        const char* what;
        const char* kind;
        std::string data;
        int pdf417Rows;
    };
    const Case cases[] = {
        {"error", "EAN-13", controls, 0},
        {"warning", "PDF 417(2D)", controls, 3},
        {"error, 1 MiB of data", "EAN-13", std::string(1 << 20, '\x01'), 0},
        {"error, 1 MiB of UTF-8 text", "Code 128 Auto", std::string(1 << 19, 'x') + std::string(1 << 19, '\xe9'), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mk::BarcodeRequest r = request(c.kind, c.data);
        r.pdf417Rows = c.pdf417Rows;
        r.pdf417Columns = 1;
        mk::BarcodeBitmap bitmap;
        const std::string out = generateCapturingOutput(r, bitmap);
        ASSERT_FALSE(out.empty());
        EXPECT_LT(out.size(), 2048u);
        EXPECT_EQ(out.find('\n'), out.size() - 1);
        int quotes = 0;  // not escaped: those round the kind and the data
        for (size_t i = 0; i + 1 < out.size(); ++i) {
            const auto byte = static_cast<unsigned char>(out[i]);
            EXPECT_TRUE(byte >= 0x20 && byte != 0x7f) << "byte " << i << " of " << out;
            if (out[i] == '\\') ++i;
            else if (out[i] == '"') ++quotes;
        }
        EXPECT_EQ(quotes, 4) << out;
        if (c.data.size() > 256) {
            EXPECT_NE(out.find("\"...(1048576 bytes) sym="), std::string::npos) << out;
        }
    }
}

// Each EAN kind makes its own symbol whatever the length of its data, where
// the general EAN symbology would make an add-on, an EAN-8 or an EAN-13.
TEST(GenerateBarcode, EanKindsMakeTheirOwnSymbolAtEveryLength) {
    using ZXing::BarcodeFormat;
    struct Case {
        const char* kind;
        const char* data;
        BarcodeFormat format;
        const char* text;  // as read back; an EAN-13 starting with 0 reads as the UPC-A of the rest
    };
    const Case cases[] = {
        {"EAN-8", "1234567", BarcodeFormat::EAN8, "12345670"},
        {"EAN-8", "12345670", BarcodeFormat::EAN8, "12345670"},
        {"EAN-8", "96385074", BarcodeFormat::EAN8, "96385074"},
        {"EAN-8", "123", BarcodeFormat::EAN8, "00001236"},
        {"EAN-8", "12345670+12", BarcodeFormat::EAN8, "12345670"},
        {"EAN-13", "1234567", BarcodeFormat::UPCA, "000012345670"},
        {"EAN-13", "12", BarcodeFormat::UPCA, "000000000123"},
        {"EAN-13", "5901234123457", BarcodeFormat::EAN13, "5901234123457"},
    };
    for (const Case& c : cases) {
        mk::BarcodeBitmap bitmap;
        EXPECT_EQ(generateCapturingOutput(request(c.kind, c.data), bitmap), "") << c.kind << " " << c.data;
        const mktest::Decoded d = decode(bitmap);
        EXPECT_EQ(d.format, c.format) << c.kind << " " << c.data;
        EXPECT_EQ(d.text, c.text) << c.kind << " " << c.data;
    }
}

TEST(GenerateBarcode, PixelsAreBlackOrWhiteBgraRowsOfFourTimesTheWidth) {
    for (const char* kind : {"Code 128 Auto", "QR Code(2D)", "EAN-13", "PDF 417(2D)"}) {
        const mk::BarcodeBitmap b = generate(request(kind, "123456789012"));
        ASSERT_GT(b.width, 0) << kind;
        EXPECT_EQ(b.stride, 4 * b.width);
        ASSERT_EQ(b.pixels.size(), static_cast<size_t>(b.stride) * b.height);
        size_t black = 0;
        for (size_t i = 0; i < b.pixels.size(); i += 4) {
            const bool isBlack = b.pixels[i] == 0 && b.pixels[i + 1] == 0 && b.pixels[i + 2] == 0;
            const bool isWhite = b.pixels[i] == 255 && b.pixels[i + 1] == 255 && b.pixels[i + 2] == 255;
            EXPECT_TRUE(isBlack || isWhite) << kind << " pixel " << i / 4;
            EXPECT_EQ(b.pixels[i + 3], 255);
            black += isBlack;
        }
        EXPECT_GT(black, 0u) << kind;
    }
}

TEST(GenerateBarcode, ModuleWidthScalesTheRaster) {
    // Code 128 "ABC123" is 101 modules wide.
    struct Case {
        float moduleWidth;
        int width;
    };
    // 2.5: zint draws 3 pixels per module, shrunk by 2.5 / 3 to (int)(303 * 2.5 / 3 + 0.5).
    const Case cases[] = {
        {-1.0f, 101}, {0.0f, 101}, {0.5f, 101}, {1.0f, 101}, {2.0f, 202}, {2.5f, 253}, {3.0f, 303},
    };
    for (const Case& c : cases) {
        mk::BarcodeRequest r = request("Code 128 Auto", "ABC123");
        r.moduleWidth = c.moduleWidth;
        r.barHeightMm = 10.0f;
        const mk::BarcodeBitmap b = generate(r);
        EXPECT_EQ(b.width, c.width) << c.moduleWidth;
        EXPECT_NEAR(b.height, 80, 1) << c.moduleWidth;  // 10 mm at 203 dpi
        EXPECT_EQ(decode(b).text, "ABC123") << c.moduleWidth;
    }
}

TEST(GenerateBarcode, BarHeightFollowsTheResolution) {
    struct Case {
        int dpi;
        float mm;
        int dots;
    };
    const Case cases[] = {{203, 10.0f, 80}, {300, 10.0f, 118}, {600, 5.0f, 118}, {0, 10.0f, 118}};
    for (const Case& c : cases) {
        for (float moduleWidth : {1.0f, 2.0f, 3.0f}) {
            mk::BarcodeRequest r = request("Code 128 Auto", "12345678");
            r.dpi = c.dpi;
            r.barHeightMm = c.mm;
            r.moduleWidth = moduleWidth;
            EXPECT_NEAR(generate(r).height, c.dots, 1) << c.dpi << " dpi, module " << moduleWidth;
        }
    }
}

TEST(GenerateBarcode, Code39RatioWidensTheWholeSymbol) {
    for (const char* kind : {"Code 39", "Code 39 Extended"}) {
        const auto widthAt = [&](int ratio) {
            mk::BarcodeRequest r = request(kind, "AB12");
            r.code39Ratio = ratio;
            r.moduleWidth = 2.0f;
            return generate(r).width;
        };
        const int plain = widthAt(2);
        ASSERT_GT(plain, 0);
        EXPECT_EQ(widthAt(1), plain) << kind;
        EXPECT_EQ(widthAt(3), static_cast<int>(plain * 16.0f / 13.0f + 0.5f)) << kind;
        EXPECT_EQ(widthAt(4), static_cast<int>(plain * 19.0f / 13.0f + 0.5f)) << kind;
    }
}

TEST(GenerateBarcode, Pdf417IsStretchedToTheBarHeight) {
    mk::BarcodeRequest r = request("PDF 417(2D)", "PDF417 stretched");
    r.dpi = 300;
    r.moduleWidth = 2.0f;
    r.barHeightMm = 0.0f;
    const mk::BarcodeBitmap natural = generate(r);
    r.barHeightMm = 25.0f;
    const mk::BarcodeBitmap stretched = generate(r);
    EXPECT_EQ(stretched.height, 295);  // (int)(300 / 25.4 * 25 + 0.5)
    EXPECT_EQ(stretched.width, natural.width);
    EXPECT_NE(natural.height, stretched.height);
    EXPECT_EQ(decode(stretched).text, "PDF417 stretched");
}

TEST(GenerateBarcode, MatrixSymbolsKeepSquareModulesWhateverTheBarHeight) {
    // "hello" is a version 1 QR Code: 21 modules.
    struct Case {
        float moduleWidth;
        int side;
    };
    for (const Case& c : {Case{1.0f, 21}, Case{2.0f, 42}, Case{3.0f, 63}, Case{2.5f, 53}}) {
        for (float barHeight : {0.0f, 10.0f, 50.0f}) {
            mk::BarcodeRequest r = request("QR Code(2D)", "hello");
            r.moduleWidth = c.moduleWidth;
            r.barHeightMm = barHeight;
            const mk::BarcodeBitmap b = generate(r);
            EXPECT_EQ(b.width, c.side) << c.moduleWidth;
            EXPECT_EQ(b.height, c.side) << c.moduleWidth;
        }
    }
}

TEST(GenerateBarcode, DataIsPreparedBeforeEncoding) {
    struct Case {
        const char* kind;
        const char* data;
        const char* bytes;  // what the decoder reads back
    };
    const Case cases[] = {
        {"Code 128 Auto", "AB<CR><LF>", "AB\r\n"},
        {"Code 128 Auto", "<cr>", "<cr>"},
        {"GS1-128", "(01)12345678901231", "0112345678901231"},
        {"GS1 QR Code(2D)", "(01)12345678901231", "0112345678901231"},
        {"QR Code(2D)", "(01)12345678901231", "(01)12345678901231"},
        {"Gs1 QR Code(2D)", "(01)1", "(01)1"},  // only "GS1" and "gs1" make a GS1 kind
    };
    for (const Case& c : cases) {
        const mk::BarcodeBitmap b = generate(request(c.kind, c.data));
        ASSERT_GT(b.width, 0) << c.kind << " " << c.data;
        EXPECT_EQ(decode(b).bytes, c.bytes) << c.kind << " " << c.data;
    }
}

TEST(GenerateBarcode, RefusesSizesNoLabelCanHold) {
    struct Case {
        const char* name;
        mk::BarcodeRequest r;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto with = [](const char* kind, std::string data, auto change) {
        mk::BarcodeRequest r = request(kind, std::move(data));
        change(r);
        return r;
    };
    const Case cases[] = {
        {"NaN bar height", with("Code 128 Auto", "A", [&](auto& r) { r.barHeightMm = nan; })},
        {"infinite bar height", with("Code 128 Auto", "A", [&](auto& r) { r.barHeightMm = inf; })},
        {"negative bar height", with("Code 128 Auto", "A", [&](auto& r) { r.barHeightMm = -5.0f; })},
        {"infinite module width", with("QR Code(2D)", "A", [&](auto& r) { r.moduleWidth = inf; })},
        {"huge module width", with("QR Code(2D)", "A", [&](auto& r) { r.moduleWidth = 1e9f; })},
        {"huge Code 39 ratio", with("Code 39", "A", [&](auto& r) { r.code39Ratio = 2000000000; })},
        {"large symbol at a large module width",
         with("QR Code(2D)", std::string(2000, 'x'), [&](auto& r) { r.moduleWidth = 100.0f; })},
        {"huge PDF417 height", with("PDF 417(2D)", "A", [&](auto& r) { r.barHeightMm = 1e30f; })},
    };
    for (const Case& c : cases) {
        mk::BarcodeBitmap bitmap;
        const std::string out = generateCapturingOutput(c.r, bitmap);
        EXPECT_EQ(bitmap.width, 0) << c.name;
        EXPECT_TRUE(bitmap.pixels.empty()) << c.name;
        EXPECT_EQ(out.rfind("[generateBarcode] zint ERROR ", 0), 0u) << c.name << ": " << out;
    }
}

}  // namespace
