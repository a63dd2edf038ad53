#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "model/append_format.h"
#include "model/label_doc.h"
#include "print/pcx_image.h"
#include "print/print_job.h"
#include "render/bmp_preview.h"
#include "render/label_surface.h"
#include "support/print_job_reader.h"
#include "support/temp_dir.h"

namespace {

LabelDoc smallLabel() {
    LabelDoc doc;
    doc.labelwidth = 20.0f;  // 160 × 80 dots at 203 dpi
    doc.labelheight = 10.0f;
    LabelObject box;
    box.ObjectName = "rectangle1";
    box.startXposition = 2.0f;
    box.startYposition = 2.0f;
    box.endXposition = 12.0f;
    box.endYposition = 6.0f;
    box.fillRectangle = true;
    mk::appendObject(doc, box);
    return doc;
}

mk::test::ReceivedJob parsed(const mk::PrintJob& job) {
    const std::optional<mk::test::ReceivedJob> received = mk::test::parsePrintJob(job);
    EXPECT_TRUE(received.has_value());
    return received.value_or(mk::test::ReceivedJob{});
}

TEST(PrintJob, LinesInOrderAroundTheGraphic) {
    LabelDoc doc = smallLabel();
    const mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, 203, 1, ""));
    ASSERT_EQ(job.lines.size(), 11u);
    EXPECT_EQ(job.lines[0], "I8,1,001");
    EXPECT_EQ(job.lines[1], "S40");
    EXPECT_EQ(job.lines[2], "H10");
    EXPECT_EQ(job.lines[3], "q160");
    EXPECT_EQ(job.lines[4], "Q80,16");
    EXPECT_EQ(job.lines[5], "N");
    std::smatch name;
    ASSERT_TRUE(std::regex_match(job.lines[6], name, std::regex("GK\"(KVP[1-9][0-9]{3})\"")));
    EXPECT_EQ(job.lines[7], "GM\"" + name[1].str() + "\"" + std::to_string(job.graphic.size()));
    EXPECT_EQ(job.lines[8], "GG0,0,\"" + name[1].str() + "\"");
    EXPECT_EQ(job.lines[9], "W1,1");
    EXPECT_EQ(job.lines[10], job.lines[6]);
}

TEST(PrintJob, SpeedIsClampedDarknessIsNot) {
    struct Case {
        int speed, darkness;
        const char* speedLine;
        const char* darknessLine;
    };
    for (const Case& c : {Case{0, -3, "S10", "H-3"}, Case{12, 30, "S80", "H30"}, Case{1, 0, "S10", "H0"},
                          Case{8, 5, "S80", "H5"}, Case{-5, 15, "S10", "H15"}}) {
        LabelDoc doc = smallLabel();
        doc.printSpeed = c.speed;
        doc.printDarkness = c.darkness;
        const mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, 203, 1, ""));
        EXPECT_EQ(job.lines[1], c.speedLine);
        EXPECT_EQ(job.lines[2], c.darknessLine);
    }
}

TEST(PrintJob, GapFlagAndCounts) {
    LabelDoc doc = smallLabel();
    doc.labelhavegap = false;
    doc.printCount = 0;
    doc.copyCount = -1;
    mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, 203, 2, ""));
    EXPECT_EQ(job.lines[4], "Q80,0");
    EXPECT_EQ(job.lines[9], "W1,1");

    doc.printCount = 3;
    doc.copyCount = 2;
    job = parsed(mk::buildLabelCommands(doc, 203, 0, ""));
    EXPECT_EQ(job.lines[9], "W3,2");

    doc.copyCount = 0;
    job = parsed(mk::buildLabelCommands(doc, 203, 0, ""));
    EXPECT_EQ(job.lines[9], "W3,1");
}

TEST(PrintJob, PrintCommandByInterfaceType) {
    struct Case {
        int interfaceType;
        const char* command;
    };
    const Case cases[] = {{4, "PR1,1"}, {6, "PR1,1"}, {8, "PR1,1"}, {5, "PN1,1"}, {7, "PN1,1"}, {9, "PN1,1"},
                          {0, "W1,1"},  {1, "W1,1"},  {2, "W1,1"},  {3, "W1,1"},  {10, "W1,1"}, {-1, "W1,1"}};
    for (const Case& c : cases) {
        LabelDoc doc = smallLabel();
        const mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, 203, c.interfaceType, ""));
        ASSERT_EQ(job.lines.size(), 11u);
        EXPECT_EQ(job.lines[9], c.command) << c.interfaceType;
        EXPECT_EQ(job.lines[10].substr(0, 3), "GK\"");
    }
}

TEST(PrintJob, RfidTextStandsBetweenPlacementAndPrint) {
    LabelDoc doc = smallLabel();
    const mk::test::ReceivedJob job =
        parsed(mk::buildLabelCommands(doc, 203, 1, "RS0,0,0,2,0\r\nRF1,0,0,3,1,\"616263\"\r\n"));
    ASSERT_EQ(job.lines.size(), 13u);
    EXPECT_EQ(job.lines[8].substr(0, 7), "GG0,0,\"");
    EXPECT_EQ(job.lines[9], "RS0,0,0,2,0");
    EXPECT_EQ(job.lines[10], "RF1,0,0,3,1,\"616263\"");
    EXPECT_EQ(job.lines[11], "W1,1");
}

TEST(PrintJob, GraphicIsTheLabelInOneBitPerPixel) {
    for (int dpi : {203, 300}) {
        LabelDoc doc = smallLabel();
        const mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, dpi, 1, ""));
        const std::optional<mk::test::PcxPicture> picture = mk::test::decodePcx(job.graphic);
        ASSERT_TRUE(picture.has_value());

        void* pixels = nullptr;
        int width = 0, height = 0, stride = 0;
        ASSERT_TRUE(mk::renderLabelForHost(doc, dpi, &pixels, &width, &height, &stride));
        const mk::MonochromeBitmap expected = mk::toMonochrome(static_cast<uint8_t*>(pixels), width, height, stride);
        mk::platform::releaseHostPixels(pixels);
        ASSERT_EQ(picture->width, width);
        ASSERT_EQ(picture->height, height);
        EXPECT_EQ(picture->bits, expected.bits);
        // The filled box is dark, the margin light.
        EXPECT_FALSE(picture->isLight(width / 3, height / 2));
        EXPECT_TRUE(picture->isLight(width - 2, height - 2));
    }
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The virtual printer saves what it received the way the previews are saved:
// for a black-and-white label both files are the same, byte for byte.
TEST(PrintJob, PrintedPictureSavesAsThePreviewOfTheLabel) {
    const int dpi = 203;
    LabelDoc doc = smallLabel();
    const mk::test::ReceivedJob job = parsed(mk::buildLabelCommands(doc, dpi, 1, ""));
    const std::optional<mk::test::PcxPicture> picture = mk::test::decodePcx(job.graphic);
    ASSERT_TRUE(picture.has_value());
    const mk::test::TempDir dir;
    ASSERT_TRUE(mk::test::savePictureAsBmp(*picture, dir / "printed.bmp", dpi));

    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    ASSERT_TRUE(mk::renderLabelForHost(doc, dpi, &pixels, &width, &height, &stride));
    std::FILE* preview = std::fopen((dir / "preview.bmp").string().c_str(), "wb");
    ASSERT_NE(preview, nullptr);
    const bool written = mk::writeBmpPreview(preview, static_cast<uint8_t*>(pixels), width, height, stride, dpi);
    mk::platform::releaseHostPixels(pixels);
    ASSERT_TRUE(std::fclose(preview) == 0 && written);

    const std::string printed = fileBytes(dir / "printed.bmp");
    ASSERT_FALSE(printed.empty());
    EXPECT_TRUE(printed == fileBytes(dir / "preview.bmp")) << "the printed picture is not saved as its label";
}

TEST(PrintJob, FailedRenderGivesAnEmptyJob) {
    LabelDoc doc = smallLabel();
    doc.labelwidth = 0.06f;  // under one dot
    EXPECT_TRUE(mk::buildLabelCommands(doc, 203, 1, "").empty());
    doc.labelwidth = 20.0f;
    doc.labelheight = 0.0f;
    EXPECT_TRUE(mk::buildLabelCommands(doc, 203, 1, "").empty());
}

TEST(PrintJob, AppendFormatNeverCutsALine) {
    mk::PrintJob job = "x";
    const std::string longText(5000, 'a');
    mk::appendFormat(job, "T%s\r\n", longText.c_str());
    EXPECT_EQ(std::string_view(job), "xT" + longText + "\r\n");
    mk::appendFormat(job, "%s", "");
    EXPECT_EQ(job.size(), 5004u);
}

TEST(PrintJob, GraphicNamesStayInRange) {
    for (int i = 0; i < 200; ++i) {
        const std::string name = mk::makeGraphicName();
        ASSERT_EQ(name.size(), 7u);
        const int number = std::stoi(name.substr(3));
        EXPECT_GE(number, 1000);
        EXPECT_LE(number, 9999);
    }
}

}  // namespace
