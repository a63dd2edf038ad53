// Labels without text print the same job on every system: 1-dot shapes,
// barcodes and pictures come out byte for byte as the Linux build makes
// them. Shapes drawn with wider pens or curves go through each system's own
// rasteriser, whose round caps, joins and arcs may differ by a dot here and
// there: for them the ink is compared instead (its bounds and its amount).
// Text is measured and laid out by the same rules everywhere from each
// system's font metrics: its extents and the place of its ink are compared.
// The Linux build's results are in job_digests.txt; both builds check theirs
// against it. Run the tests with MKLABEL_WRITE_DIGESTS=1 on Linux to rewrite
// the file after a deliberate change to what labels look like.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "model/label_doc.h"
#include "print/print_job.h"
#include "portable/utf_convert.h"
#include "render/label_surface.h"
#include "render/object_font.h"
#include "support/lsf_writer.h"
#include "support/reference_labels.h"

namespace {

namespace fs = std::filesystem;

const fs::path kHere = fs::path(__FILE__).parent_path();
const fs::path kDigests = kHere / "job_digests.txt";

std::string pictureFile(const char* name) {
    std::ifstream in(kHere / "pictures" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Objects are drawn by the kind their name starts with.
LabelObject& add(LabelDoc& doc, ObjectType type, float x, float y) {
    static const char* const kNames[] = {"text", "barcode", "line", "rectangle", "image", "rfid"};
    LabelObject& object = doc.objects.emplace_back();
    object.ObjectName = kNames[static_cast<int>(type)] + std::to_string(doc.objects.size());
    object.objectclass = static_cast<int>(type);
    object.Xposition = x;
    object.Yposition = y;
    return object;
}

LabelObject& shape(LabelDoc& doc, ObjectType type, float x1, float y1, float x2, float y2, float width) {
    LabelObject& object = add(doc, type, 0.0f, 0.0f);
    object.startXposition = x1;
    object.startYposition = y1;
    object.endXposition = x2;
    object.endYposition = y2;
    object.lineWidth = width;
    return object;
}

LabelObject& barcode(LabelDoc& doc, const char* kind, const char* data, float x, float y) {
    LabelObject& object = add(doc, ObjectType::Barcode, x, y);
    object.barcodekind = kind;
    object.objectdata = data;
    object.barcodescale = 2.0f;
    object.barcodeheight = 8.0f;
    object.textposition = 2;  // no human-readable text
    return object;
}

LabelObject& picture(LabelDoc& doc, std::string bytes, float x, float y, float scale) {
    LabelObject& object = add(doc, ObjectType::Image, x, y);
    object.imagedata.assign(bytes.begin(), bytes.end());
    object.scale = scale;
    return object;
}

LabelDoc label(float width, float height) {
    LabelDoc doc;
    doc.labelwidth = width;
    doc.labelheight = height;
    return doc;
}

LabelDoc thinShapes() {
    LabelDoc doc = label(50.0f, 30.0f);
    shape(doc, ObjectType::Rectangle, 2.0f, 2.0f, 48.0f, 28.0f, 0.1f);
    shape(doc, ObjectType::Rectangle, 5.0f, 4.0f, 20.0f, 9.0f, 0.1f).fillRectangle = true;
    shape(doc, ObjectType::Line, 24.0f, 4.0f, 45.0f, 9.0f, 0.1f);
    shape(doc, ObjectType::Line, 24.0f, 9.0f, 30.0f, 4.0f, 0.1f);
    shape(doc, ObjectType::Line, 46.0f, 4.0f, 46.0f, 27.0f, 0.1f);
    for (int style = 0; style <= 4; ++style) {
        const float y = 12.0f + 3.0f * static_cast<float>(style);
        shape(doc, ObjectType::Line, 3.0f, y, 44.0f, y, 0.1f).lineDashStyle = style;
    }
    return doc;
}

LabelDoc wideShapes() {
    LabelDoc doc = label(50.0f, 30.0f);
    shape(doc, ObjectType::Rectangle, 5.0f, 3.0f, 20.0f, 10.0f, 0.5f).fillRectangle = true;
    shape(doc, ObjectType::Rectangle, 24.0f, 3.0f, 45.0f, 10.0f, 0.8f);
    shape(doc, ObjectType::Line, 5.0f, 13.0f, 45.0f, 27.0f, 0.5f);
    for (int style = 0; style <= 4; ++style) {
        const float y = 13.0f + 3.0f * static_cast<float>(style);
        shape(doc, ObjectType::Line, 3.0f, y, 40.0f, y, 0.4f).lineDashStyle = style;
    }
    return doc;
}

LabelDoc curvedShapes() {
    LabelDoc doc = label(50.0f, 30.0f);
    LabelObject& rounded = shape(doc, ObjectType::Rectangle, 3.0f, 3.0f, 23.0f, 13.0f, 0.1f);
    rounded.rectangleclass = 1;
    LabelObject& thick = shape(doc, ObjectType::Rectangle, 27.0f, 3.0f, 47.0f, 13.0f, 0.5f);
    thick.rectangleclass = 1;
    LabelObject& ellipse = shape(doc, ObjectType::Rectangle, 3.0f, 16.0f, 23.0f, 27.0f, 0.1f);
    ellipse.rectangleclass = 2;
    LabelObject& filled = shape(doc, ObjectType::Rectangle, 27.0f, 16.0f, 47.0f, 27.0f, 0.3f);
    filled.rectangleclass = 2;
    filled.fillRectangle = true;
    return doc;
}

LabelDoc linearBarcodes() {
    LabelDoc doc = label(60.0f, 40.0f);
    barcode(doc, "Code 128 Auto", "MK-2024-000123", 3.0f, 3.0f);
    barcode(doc, "Code 39", "LABEL42", 3.0f, 14.0f);
    barcode(doc, "Interleaved 2 of 5", "12345678", 3.0f, 25.0f);
    return doc;
}

LabelDoc matrixBarcodes() {
    LabelDoc doc = label(60.0f, 40.0f);
    barcode(doc, "QR Code(2D)", "https://example.com/labels/000123", 3.0f, 3.0f);
    barcode(doc, "Data Matrix(2D)", "MK-2024-000123", 30.0f, 3.0f);
    barcode(doc, "PDF 417(2D)", "Thermal label 42", 3.0f, 24.0f);
    return doc;
}

LabelDoc pictures() {
    LabelDoc doc = label(60.0f, 30.0f);
    const std::vector<uint8_t> bmp = mk::test::bmpImage(24, 24);
    picture(doc, std::string(bmp.begin(), bmp.end()), 2.0f, 2.0f, 1.0f);
    picture(doc, pictureFile("blocks.png"), 12.0f, 2.0f, 2.0f);
    picture(doc, pictureFile("blocks.gif"), 30.0f, 2.0f, 1.0f);
    picture(doc, pictureFile("blocks.jpg"), 2.0f, 16.0f, 1.0f);
    picture(doc, pictureFile("blocks.ico"), 30.0f, 16.0f, 3.0f);
    return doc;
}

LabelObject& text(LabelDoc& doc, const char* data, const char* face, float size, float x, float y) {
    LabelObject& object = add(doc, ObjectType::Text, x, y);
    object.objectdata = data;
    object.textfont = face;
    object.fontsize = size;
    return object;
}

LabelDoc latinText() {
    LabelDoc doc = label(40.0f, 10.0f);
    text(doc, "Label 42", "Arial", 10.0f, 3.0f, 2.0f);
    return doc;
}

LabelDoc boldText() {
    LabelDoc doc = label(70.0f, 12.0f);
    text(doc, "Lot 0001 / MK-2024", "Liberation Sans", 14.0f, 3.0f, 2.0f).fontstyle = 1;
    return doc;
}

LabelDoc wrappedText() {
    LabelDoc doc = label(40.0f, 20.0f);
    LabelObject& box = text(doc, "A wrapped description in a box of its own", "Times New Roman", 9.0f, 3.0f, 2.0f);
    box.texttype = 1;
    box.textwidth = 30.0f;
    return doc;
}

LabelDoc chineseText() {
    LabelDoc doc = label(40.0f, 10.0f);
    text(doc, "\xE6\xA0\x87\xE7\xAD\xBE 42", "\xE9\xBB\x91\xE4\xBD\x93", 12.0f, 3.0f, 2.0f);
    return doc;
}

// A reference label without its text objects and barcode text.
LabelDoc withoutText(LabelDoc design) {
    std::erase_if(design.objects,
                  [](const LabelObject& object) { return object.objectclass == static_cast<int>(ObjectType::Text); });
    for (LabelObject& object : design.objects) object.textposition = 2;
    return design;
}

LabelDoc smallLabel() { return withoutText(mk::test::smallPrintedLabel()); }
LabelDoc mainRoadLabel() { return withoutText(mk::test::mainRoadLabel()); }

// How a label is compared: by its whole job; by the ink of its picture; or,
// for a label of one text object, by that text's extent in its font and
// where its ink lies (glyph shapes are each system's own).
enum class Compare { Job, Ink, Text };

struct Case {
    const char* name;
    LabelDoc (*make)();
    Compare compare;
};

const Case kCases[] = {
    {"thin-shapes", thinShapes, Compare::Job},         {"linear-barcodes", linearBarcodes, Compare::Job},
    {"matrix-barcodes", matrixBarcodes, Compare::Job}, {"pictures", pictures, Compare::Job},
    {"wide-shapes", wideShapes, Compare::Ink},         {"curved-shapes", curvedShapes, Compare::Ink},
    {"small-label", smallLabel, Compare::Ink},         {"main-road-label", mainRoadLabel, Compare::Ink},
    {"latin-text", latinText, Compare::Text},          {"bold-text", boldText, Compare::Text},
    {"wrapped-text", wrappedText, Compare::Text},      {"chinese-text", chineseText, Compare::Text},
};

// "<name>@<dpi> job <length> <crc32>", the graphic's random name made
// "KVP0000".
std::string jobDigest(const Case& c, int dpi) {
    const auto job =
        std::regex_replace(mk::buildLabelCommands(c.make(), dpi, 1, ""), std::regex("KVP[0-9]{4}"), "KVP0000");
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(job.data()), static_cast<uInt>(job.size()));
    std::ostringstream line;
    line << c.name << "@" << dpi << " job " << job.size() << " " << std::hex << crc;
    return line.str();
}

struct Ink {
    long count = 0;
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
};

Ink inkOf(const Case& c, int dpi) {
    void* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    Ink ink;
    if (!mk::renderLabelForHost(c.make(), dpi, &pixels, &width, &height, &stride)) return ink;
    ink.left = width;
    ink.top = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (static_cast<const uint8_t*>(pixels)[static_cast<size_t>(y) * stride + x * 4 + 1] >= 128) continue;
            ++ink.count;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    mk::platform::releaseHostPixels(pixels);
    return ink;
}

// "<name>@<dpi> ink <count> <left> <top> <right> <bottom>"
std::string inkDigest(const Case& c, int dpi) {
    const Ink ink = inkOf(c, dpi);
    std::ostringstream line;
    line << c.name << "@" << dpi << " ink " << ink.count << " " << ink.left << " " << ink.top << " " << ink.right << " "
         << ink.bottom;
    return line.str();
}

// "<name>@<dpi> text <cx> <cy> <left> <top> <right> <bottom>": the extent of
// the label's one text in its font, and the bounds of its ink.
std::string textDigest(const Case& c, int dpi) {
    const LabelDoc doc = c.make();
    const LabelObject& object = doc.objects.front();
    const mk::platform::TextExtent extent =
        mk::createObjectFont(object, object.fontsize, dpi)->measure(mk::platform::utf8ToUtf16(object.objectdata));
    const Ink ink = inkOf(c, dpi);
    std::ostringstream line;
    line << c.name << "@" << dpi << " text " << extent.cx << " " << extent.cy << " " << ink.left << " " << ink.top
         << " " << ink.right << " " << ink.bottom;
    return line.str();
}

std::string digest(const Case& c, int dpi) {
    switch (c.compare) {
        case Compare::Job:
            return jobDigest(c, dpi);
        case Compare::Ink:
            return inkDigest(c, dpi);
        case Compare::Text:
            return textDigest(c, dpi);
    }
    return {};
}

// The numbers after the label's name and kind.
std::vector<long> numbersOf(const std::string& line) {
    std::istringstream in(line);
    std::string skip;
    in >> skip >> skip;
    std::vector<long> numbers;
    for (long n = 0; in >> n;) numbers.push_back(n);
    return numbers;
}

std::map<std::string, std::string> committedDigests() {
    std::map<std::string, std::string> digests;
    std::ifstream in(kDigests);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        digests[line.substr(0, line.find(' '))] = line;
    }
    return digests;
}

TEST(SameJobs, LabelsWithoutTextPrintWhatTheLinuxBuildPrints) {
    const int resolutions[] = {203, 300};
    const char* write = std::getenv("MKLABEL_WRITE_DIGESTS");
    if (write != nullptr && std::string(write) == "1") {
        std::ofstream out(kDigests, std::ios::binary);
        out << "# <label>@<dpi> job <length> <CRC-32>, or ink <dots> <left> <top> <right> <bottom>;"
               " see same_jobs_test.cpp\n";
        for (const Case& c : kCases)
            for (int dpi : resolutions) out << digest(c, dpi) << "\n";
    }
    const std::map<std::string, std::string> committed = committedDigests();
    ASSERT_FALSE(committed.empty()) << kDigests;
    for (const Case& c : kCases) {
        for (int dpi : resolutions) {
            const std::string key = std::string(c.name) + "@" + std::to_string(dpi);
            const auto found = committed.find(key);
            ASSERT_NE(found, committed.end()) << key;
            if (c.compare == Compare::Job) {
                EXPECT_EQ(jobDigest(c, dpi), found->second);
                continue;
            }
            const std::vector<long> want = numbersOf(found->second);
            const std::vector<long> got = numbersOf(digest(c, dpi));
            ASSERT_EQ(want.size(), got.size()) << found->second;
            if (c.compare == Compare::Ink) {
                // The same shapes in the same places: bounds within a dot,
                // the amount of ink within 2 %.
                EXPECT_NEAR(got[0], want[0], want[0] / 50) << key;
                for (size_t i = 1; i < 5; ++i) EXPECT_NEAR(got[i], want[i], 1) << key << " bound " << i;
            } else {
                // The same line height; widths that differ only by the
                // rounding of hinted advances (a dot here and there, at
                // most 2 dots and 1 % of the width); and so the same layout,
                // with the ink within as much of where Linux puts it.
                EXPECT_EQ(got[1], want[1]) << key << " height";
                const auto near = [](long a, long b) { return std::abs(a - b) <= 2 + b / 100; };
                EXPECT_PRED2(near, got[0], want[0]) << key << " width";
                for (size_t i = 2; i < 6; ++i) EXPECT_PRED2(near, got[i], want[i]) << key << " bound " << i - 2;
            }
        }
    }
}

}  // namespace
