// The BMP preview files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mklabel.h"
#include "model/label_doc.h"
#include "render/rendered.h"
#include "support/temp_dir.h"
#include "support/utf8_path.h"

namespace {

using mk::test::LabelPtr;
using mk::test::PrinterPtr;
using mk::test::printerAt;
using mk::test::render;
using mk::test::Rendered;

using PreviewCall = int (*)(LabelDoc*, const Printer*, const char*);

// A folder of the test's own, removed afterwards.
class Preview : public ::testing::Test {
protected:
    // UTF-8, as the library takes paths.
    std::string path(const std::string& name) const { return mk::test::utf8Of(dir_.path() / mk::test::utf8Path(name)); }

    mk::test::TempDir dir_;
};

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(mk::test::utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

TEST_F(Preview, HeaderDescribesA32BitBottomUpBitmap) {
    LabelPtr doc(MkLabel_Create());
    std::string file = path("label.bmp");
    ASSERT_EQ(MkLabelDoc_SavePreview(doc.get(), nullptr, file.c_str()), MK_OK);
    auto bytes = readFile(file);
    const uint32_t size = 54 + 831 * 599 * 4;
    ASSERT_EQ(bytes.size(), size);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    struct Field {
        size_t at;
        uint32_t value;
    } fields32[] = {{2, size}, {10, 54}, {14, 40}, {18, 831}, {22, 599}, {30, 0},
                    {34, 0},   {38, 7992}, {42, 7992}, {46, 0}, {50, 0}};
    for (const Field& f : fields32) EXPECT_EQ(le32(bytes, f.at), f.value) << "offset " << f.at;
    EXPECT_EQ(le16(bytes, 6), 0);
    EXPECT_EQ(le16(bytes, 8), 0);
    EXPECT_EQ(le16(bytes, 26), 1);
    EXPECT_EQ(le16(bytes, 28), 32);
}

TEST_F(Preview, RowsAreStoredBottomUpUnchanged) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 20);
    MkLabel_SetHeight(doc.get(), 12);
    int index = MkLabel_AddRect(doc.get(), "rectangle", 0, 0, 5, 3, 0.1f);
    MkLabel_SetRectFill(doc.get(), index, 1);
    doc->objects[0].lineColorArgb = 0xFF102030u;
    MkLabel_AddLine(doc.get(), "line", 2, 11, 18, 4, 0.4f);
    Rendered out = render(doc.get(), nullptr, MkLabel_Render);
    ASSERT_EQ(out.result, MK_OK);
    std::string file = path("rows.bmp");
    ASSERT_EQ(MkLabel_SavePreview(doc.get(), nullptr, file.c_str()), MK_OK);
    auto bytes = readFile(file);
    const size_t row = static_cast<size_t>(out.stride);
    ASSERT_EQ(bytes.size(), 54 + row * out.height);
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* stored = bytes.data() + 54 + static_cast<size_t>(out.height - 1 - y) * row;
        const uint8_t* rendered = out.pixels.get() + static_cast<size_t>(y) * row;
        for (int x = 0; x < out.width; ++x)
            ASSERT_EQ(std::memcmp(stored + 4 * x, rendered + 4 * x, 3), 0) << x << "," << y;
    }
    // The label's top-left corner is the file's last row.
    const uint8_t* lastRow = bytes.data() + 54 + static_cast<size_t>(out.height - 1) * row;
    EXPECT_EQ(lastRow[0], 0x30);
    EXPECT_EQ(lastRow[1], 0x20);
    EXPECT_EQ(lastRow[2], 0x10);
}

TEST_F(Preview, PixelsPerMetreFollowTheResolution) {
    struct Case {
        PreviewCall call;
        int printerDpi;  // 0: no printer
        int documentDpi;
        int width;  // of the pixels, 10 mm wide
        uint32_t perMetre;
    } cases[] = {
        {MkLabel_SavePreview, 203, 203, 80, 7992},
        {MkLabel_SavePreview, 300, 203, 118, 11811},
        {MkLabel_SavePreview, 600, 203, 236, 23622},
        {MkLabel_SavePreview, 1700, 203, 669, 66929},  // all four bytes written
        {MkLabel_SavePreview, 0, 600, 80, 7992},
        {MkLabelDoc_SavePreview, 300, 203, 118, 11811},
        {MkLabelDoc_SavePreview, 0, 300, 80, 11811},  // pixels at 203, the file says 300
        {MkLabelDoc_SavePreview, 0, 0, 80, 7992},     // below 1: 203
        {MkLabelDoc_SavePreview, 0, -5, 80, 7992},
    };
    int n = 0;
    for (const Case& c : cases) {
        LabelPtr doc(MkLabel_Create());
        MkLabel_SetWidth(doc.get(), 10);
        MkLabel_SetHeight(doc.get(), 5);
        doc->printerDPI = c.documentDpi;
        PrinterPtr printer = c.printerDpi > 0 ? printerAt(c.printerDpi) : nullptr;
        std::string file = path("ppm" + std::to_string(n++) + ".bmp");
        ASSERT_EQ(c.call(doc.get(), printer.get(), file.c_str()), MK_OK);
        auto bytes = readFile(file);
        ASSERT_GE(bytes.size(), 54u);
        EXPECT_EQ(le32(bytes, 18), static_cast<uint32_t>(c.width)) << n;
        EXPECT_EQ(le32(bytes, 38), c.perMetre) << n;
        EXPECT_EQ(le32(bytes, 42), c.perMetre) << n;
    }
}

TEST_F(Preview, FailuresReportTheirStep) {
    LabelPtr doc(MkLabel_Create());
    LabelPtr narrow(MkLabel_Create());
    MkLabel_SetWidth(narrow.get(), 0);
    LabelPtr huge(MkLabel_Create());  // beyond the largest surface
    MkLabel_SetWidth(huge.get(), 2000);
    MkLabel_SetHeight(huge.get(), 2000);
    std::string existing = path("kept.bmp");
    for (PreviewCall call : {MkLabelDoc_SavePreview, MkLabel_SavePreview}) {
        EXPECT_EQ(call(nullptr, nullptr, path("a.bmp").c_str()), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(doc.get(), nullptr, nullptr), MK_RENDER_BAD_ARGS);
        EXPECT_EQ(call(narrow.get(), nullptr, path("narrow.bmp").c_str()), MK_RENDER_FAILED);
        EXPECT_FALSE(std::filesystem::exists(path("narrow.bmp")));
        EXPECT_EQ(call(huge.get(), nullptr, path("huge.bmp").c_str()), MK_RENDER_FAILED);
        EXPECT_FALSE(std::filesystem::exists(path("huge.bmp")));
        EXPECT_EQ(call(doc.get(), nullptr, ""), MK_RENDER_CANNOT_OPEN_FILE);
        EXPECT_EQ(call(doc.get(), nullptr, path("missing/label.bmp").c_str()), MK_RENDER_CANNOT_OPEN_FILE);
        EXPECT_EQ(call(doc.get(), nullptr, mk::test::utf8Of(dir_.path()).c_str()), MK_RENDER_CANNOT_OPEN_FILE);
    }
    EXPECT_FALSE(std::filesystem::exists(path("a.bmp")));
}

TEST_F(Preview, AFullDiskIsAFailureNotASuccess) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    LabelPtr doc(MkLabel_Create());
    EXPECT_EQ(MkLabel_SavePreview(doc.get(), nullptr, "/dev/full"), MK_RENDER_CANNOT_OPEN_FILE);
}

TEST_F(Preview, Utf8PathNamesTheFile) {
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 4);
    MkLabel_SetHeight(doc.get(), 4);
    std::string file = path("\xC3\xA9tiquette-\xE6\xA0\x87\xE7\xAD\xBE.bmp");  // étiquette-标签
    ASSERT_EQ(MkLabel_SavePreview(doc.get(), nullptr, file.c_str()), MK_OK);
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::u8path(file)), 54u + 32 * 32 * 4);
}

TEST_F(Preview, AnExistingFileIsReplaced) {
    std::string file = path("again.bmp");
    {
        std::ofstream out(file, std::ios::binary);
        out << std::string(500000, 'x');
    }
    LabelPtr doc(MkLabel_Create());
    MkLabel_SetWidth(doc.get(), 4);
    MkLabel_SetHeight(doc.get(), 4);
    ASSERT_EQ(MkLabelDoc_SavePreview(doc.get(), nullptr, file.c_str()), MK_OK);
    EXPECT_EQ(std::filesystem::file_size(file), 54u + 32 * 32 * 4);
}

}  // namespace
