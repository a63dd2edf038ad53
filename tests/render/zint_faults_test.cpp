#include "render/zint_faults.h"

#include <gtest/gtest.h>

#include <string>

#include "render/barcode_adapter.h"

namespace {

TEST(KnownZintFault, RefusesPdf417DigitRunsOf11Or12BesideHighBytes) {
    struct Case {
        const char* kind;
        std::string data;
        bool refused;
    };
    const std::string e = "\xC3\xA9";  // a non-ASCII letter in UTF-8
    const Case cases[] = {
        {"PDF 417(2D)", e + "12345678901", true},
        {"PDF 417(2D)", e + "123456789012", true},
        {"PDF 417(2D)", "12345678901" + e, true},
        {"PDF 417(2D)", std::string("\x7F") + "12345678901", true},
        {"PDF 417(2D)", e + " abc 12345678901 def", true},            // zint's block merging decides the neighbour
        {"PDF 417(2D)", e + "1234567890", false},                     // 10 digits: text compaction, no lookup
        {"PDF 417(2D)", e + "1234567890123", false},                  // 13 digits: numeric without weighing
        {"PDF 417(2D)", std::string("\x01") + "12345678901", false},  // control bytes are inside the table
        {"PDF 417(2D)", "12345678901 plain ASCII", false},
        {"PDF 417(2D)", "", false},
        {"QR Code(2D)", e + "12345678901", false},
        {"Code 128", e + "12345678901", false},
    };
    for (const Case& c : cases) {
        const mk::BarcodeKind& kind = mk::barcodeKindFor(c.kind);
        EXPECT_EQ(kind.zintFault != nullptr && kind.zintFault(c.data) != nullptr, c.refused) << c.kind << " " << c.data;
    }
}

TEST(KnownZintFault, GenerateBarcodeRefusesBeforeEncoding) {
    mk::BarcodeRequest r;
    r.kind = "PDF 417(2D)";
    r.data = "Stra\xC3\x9F" + std::string("e 12345678901");
    mk::BarcodeBitmap bitmap;
    testing::internal::CaptureStdout();
    mk::generateBarcode(bitmap, r);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(bitmap.width, 0);
    EXPECT_EQ(out.rfind("[generateBarcode] zint ERROR kind=\"PDF 417(2D)\" data=\"Stra\xC3\x9F"
                        "e 12345678901\" sym=55 err=6: ",
                        0),
              0u)
        << out;

    r.data = "Strasse 12345678901";  // ASCII only: encoded as usual
    mk::generateBarcode(bitmap, r);
    EXPECT_GT(bitmap.width, 0);
}

}  // namespace
