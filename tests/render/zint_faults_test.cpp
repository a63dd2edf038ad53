#include "render/zint_faults.h"

#include <gtest/gtest.h>

#include <string>

#include "render/barcode_adapter.h"

namespace {

namespace sym = mk::symbology;

TEST(KnownZintFault, RefusesPdf417DigitRunsOf11Or12BesideHighBytes) {
    struct Case {
        int symbology;
        std::string data;
        bool refused;
    };
    const std::string e = "\xC3\xA9";  // a non-ASCII letter in UTF-8
    const Case cases[] = {
        {sym::Pdf417, e + "12345678901", true},
        {sym::Pdf417, e + "123456789012", true},
        {sym::Pdf417, "12345678901" + e, true},
        {sym::Pdf417, std::string("\x7F") + "12345678901", true},
        {sym::Pdf417, e + " abc 12345678901 def", true},            // zint's block merging decides the neighbour
        {sym::Pdf417, e + "1234567890", false},                     // 10 digits: text compaction, no lookup
        {sym::Pdf417, e + "1234567890123", false},                  // 13 digits: numeric without weighing
        {sym::Pdf417, std::string("\x01") + "12345678901", false},  // control bytes are inside the table
        {sym::Pdf417, "12345678901 plain ASCII", false},
        {sym::Pdf417, "", false},
        {sym::QrCode, e + "12345678901", false},
        {sym::Code128, e + "12345678901", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mk::knownZintFault(c.symbology, c.data) != nullptr, c.refused) << c.symbology << " " << c.data;
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
