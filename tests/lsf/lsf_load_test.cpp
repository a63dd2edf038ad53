#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "lsf/inflate_block.h"
#include "lsf/load_budget.h"
#include "mklabel.h"
#include "model/label_doc.h"
#include "support/handles.h"
#include "support/lsf_writer.h"
#include "support/temp_dir.h"
#include "support/utf8_path.h"

namespace {

namespace fs = std::filesystem;
using mk::test::BlockFormat;
using mk::test::element;
using mk::test::labelObject;

using DocPtr = mk::test::LabelPtr;

DocPtr loadImage(const std::string& image) {
    return DocPtr(MkLabelDoc_LoadFromMemory(image.data(), static_cast<int>(image.size())));
}

const std::string kParams = "<PrinterParams>" + element("printerDPI", 300) + element("labelwidth", 60) + "</PrinterParams>";
const std::string kObjects = labelObject(element("ObjectName", "text1") + element("objectdata", "Hello")) +
                             labelObject(element("ObjectName", "line2") + element("objectclass", 2));

mk::test::LsfImage goodImage() {
    mk::test::LsfImage image;
    image.paramsXml = kParams;
    image.objectsXml = kObjects;
    return image;
}

std::string withHeader(const std::string& header) {
    mk::test::LsfImage image = goodImage();
    image.header = header;
    return image.build();
}

std::string paramBlockHex() {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%zX", mk::test::compressBlock(kParams).size());
    return hex;
}

// The image with its objects stream cut short by some bytes.
std::string objectsCutShort() {
    std::string image = goodImage().build();
    image.resize(image.size() - 6);
    return image;
}

std::string paramsCutShort() {
    const std::string params = mk::test::compressBlock(kParams);
    const std::string cut = params.substr(0, params.size() - 6);
    char header[64];
    std::snprintf(header, sizeof header, "LSF|7.0|x|%zX", cut.size());
    return std::string(header) + '\0' + cut + mk::test::compressBlock(kObjects);
}

std::string withBrokenParamChecksum() {
    std::string params = mk::test::compressBlock(kParams);
    params.back() ^= 0x01;  // the Adler-32 trailer
    return "LSF|7.0|x|" + paramBlockHex() + '\0' + params;
}

// Both blocks behind a header whose P covers all of them, plus extra bytes.
std::string blocksAfterHeader(int extra) {
    const std::string blocks = mk::test::compressBlock(kParams) + mk::test::compressBlock(kObjects);
    char header[64];
    std::snprintf(header, sizeof header, "LSF|7.0|x|%zX", blocks.size() + extra);
    return std::string(header) + '\0' + blocks;
}

struct RefusedCase {
    const char* name;
    std::string image;
    int code;
};

TEST(LsfLoad, BadImagesAreRefusedWithTheirCodeAndMessage) {
    mk::test::LsfImage emptyParams = goodImage();
    emptyParams.paramsXml.clear();
    mk::test::LsfImage rawParams = goodImage();
    rawParams.paramsFormat = BlockFormat::RawDeflate;
    mk::test::LsfImage rawObjects = goodImage();
    rawObjects.objectsFormat = BlockFormat::RawDeflate;
    mk::test::LsfImage garbageObjects = goodImage();
    garbageObjects.objectsXml.reset();
    garbageObjects.afterParams.clear();
    std::string garbage = garbageObjects.build() + "not a zlib stream";

    const RefusedCase cases[] = {
        {"no NUL", "LSF|7.0|x|10", MK_ERR_BAD_HEADER},
        {"NUL first", std::string(1, '\0') + goodImage().build(), MK_ERR_BAD_HEADER},
        {"three fields", withHeader("LSF|7.0|" + paramBlockHex()), MK_ERR_BAD_HEADER},
        {"trailing bar adds no field", withHeader("1.0|x|" + paramBlockHex() + "|"), MK_ERR_BAD_HEADER},
        {"P is 0", withHeader("x|3.5|x|0"), MK_ERR_PARAM_BLOCK_INFLATE},
        {"P not a number", withHeader("x|3.5|x|zz"), MK_ERR_PARAM_BLOCK_INFLATE},
        {"P negative", withHeader("x|3.5|x|-5"), MK_ERR_PARAM_BLOCK_INFLATE},
        {"P saturates negative", withHeader("x|3.5|x|-FFFFFFFFFFFF"), MK_ERR_PARAM_BLOCK_INFLATE},
        {"P 7FFFFFFF", withHeader("x|3.5|x|7FFFFFFF"), MK_ERR_PARAM_BLOCK_SIZE},
        {"P saturates positive", withHeader("x|3.5|x|FFFFFFFFFFFF"), MK_ERR_PARAM_BLOCK_SIZE},
        {"P far past the image", withHeader("x|3.5|x|FFFF"), MK_ERR_PARAM_BLOCK_SIZE},
        {"P one past the image", blocksAfterHeader(+1), MK_ERR_PARAM_BLOCK_SIZE},
        {"params inflate to nothing", emptyParams.build(), MK_ERR_PARAM_XML},
        {"params cut short", paramsCutShort(), MK_ERR_PARAM_BLOCK_INFLATE},
        {"params checksum wrong", withBrokenParamChecksum(), MK_ERR_PARAM_BLOCK_INFLATE},
        {"params raw deflate", rawParams.build(), MK_ERR_PARAM_BLOCK_INFLATE},
        {"objects cut short", objectsCutShort(), MK_ERR_OBJECTS_BLOCK_INFLATE},
        {"objects raw deflate", rawObjects.build(), MK_ERR_OBJECTS_BLOCK_INFLATE},
        {"objects not compressed", garbage, MK_ERR_OBJECTS_BLOCK_INFLATE},
    };
    const std::pair<int, const char*> messages[] = {
        {MK_ERR_BAD_HEADER, "Invalid LSF file header."},
        {MK_ERR_PARAM_BLOCK_SIZE, "Parameter block exceeds file size."},
        {MK_ERR_PARAM_BLOCK_INFLATE, "Failed to decompress parameter block."},
        {MK_ERR_OBJECTS_BLOCK_INFLATE, "Failed to decompress objects block."},
        {MK_ERR_PARAM_XML, "Failed to parse printer parameters from XML."},
    };
    for (const RefusedCase& c : cases) {
        EXPECT_EQ(loadImage(c.image), nullptr) << c.name;
        EXPECT_EQ(MkGetLastErrorCode(), c.code) << c.name;
        for (const auto& [code, message] : messages) {
            if (code == c.code) {
                EXPECT_STREQ(MkGetLastErrorMessage(), message) << c.name;
            }
        }
        EXPECT_STREQ(MkLabelDoc_GetLastError(), MkGetLastErrorMessage());
    }
}

TEST(LsfLoad, SizeBelowOneOrNoDataIsAnInvalidHeader) {
    const std::string image = goodImage().build();
    const struct {
        const void* data;
        int size;
    } cases[] = {{image.data(), 0}, {image.data(), -1}, {nullptr, 0}, {nullptr, 100}, {image.data(), 3}};
    for (const auto& c : cases) {
        EXPECT_EQ(MkLabelDoc_LoadFromMemory(c.data, c.size), nullptr) << c.size;
        EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_BAD_HEADER) << c.size;
    }
}

TEST(LsfLoad, HeaderVariantsThatLoad) {
    const std::string hex = paramBlockHex();
    std::string lower = hex;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string headers[] = {
        "LSF|7.0|x|" + hex,   "1||x|" + hex,       "|7.0||" + hex,
        "LSF|7.0|x|" + lower, "LSF|7.0|x|0x" + hex, "LSF|7.0|x|0X" + lower,
        "LSF|7.0|x| \t" + hex, "LSF|7.0|x|" + hex + "|more|fields|", "LSF|7.0|x|" + hex + "g",
    };
    for (const std::string& header : headers) {
        DocPtr doc = loadImage(withHeader(header));
        ASSERT_NE(doc, nullptr) << header << ": " << MkGetLastErrorMessage();
        EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300) << header;
        EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 2) << header;
    }
}

TEST(LsfLoad, LoadedDocumentHoldsParametersObjectsAndVersion) {
    mk::test::LsfImage image = goodImage();
    image.version = "4.5";
    DocPtr doc = loadImage(image.build());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300);
    EXPECT_EQ(MkLabel_GetWidth(doc.get()), 60.0f);
    EXPECT_EQ(MkLabel_GetHeight(doc.get()), 75.0f);
    EXPECT_EQ(MkLabelDoc_GetPrinterSpeed(doc.get()), 4);
    EXPECT_EQ(MkLabelDoc_GetPrinterDarkness(doc.get()), 0);
    EXPECT_FALSE(MkLabelDoc_GetPrinterHaveGap(doc.get()));
    ASSERT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 2);
    EXPECT_EQ(doc->objects[0].ObjectName, "text1");
    EXPECT_EQ(doc->objects[0].objectdata, "Hello");
    EXPECT_EQ(doc->objects[1].objectclass, 2);
    EXPECT_EQ(doc->fileVersion, 4.5f);
    EXPECT_TRUE(doc->errorText.empty());
}

TEST(LsfLoad, BlockWrappingAndTrailingBytes) {
    const struct {
        const char* name;
        BlockFormat params;
        BlockFormat objects;
        std::string afterParams;
        std::string afterObjects;
    } cases[] = {
        {"gzip blocks", BlockFormat::Gzip, BlockFormat::Gzip, "", ""},
        {"gzip and zlib", BlockFormat::Gzip, BlockFormat::Zlib, "", ""},
        {"bytes after each stream", BlockFormat::Zlib, BlockFormat::Zlib, "junk", std::string("\0\x78\x9c", 3)},
        {"a second gzip member is ignored", BlockFormat::Gzip, BlockFormat::Gzip,
         mk::test::compressBlock("<printerDPI>600</printerDPI>", BlockFormat::Gzip), ""},
    };
    for (const auto& c : cases) {
        mk::test::LsfImage image = goodImage();
        image.paramsFormat = c.params;
        image.objectsFormat = c.objects;
        image.afterParams = c.afterParams;
        image.afterObjects = c.afterObjects;
        DocPtr doc = loadImage(image.build());
        ASSERT_NE(doc, nullptr) << c.name << ": " << MkGetLastErrorMessage();
        EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300) << c.name;
        EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 2) << c.name;
    }
}

TEST(LsfLoad, ImageEndingAfterTheParameterBlockHasNoObjects) {
    mk::test::LsfImage image = goodImage();
    image.objectsXml.reset();
    DocPtr doc = loadImage(image.build());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 0);

    // A P that spans the rest of the image: the objects stream is just bytes
    // after the parameter stream.
    doc = loadImage(blocksAfterHeader(0));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 0);

    image.objectsXml = "";  // a stream that inflates to no text is no object either
    doc = loadImage(image.build());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 0);
}

std::string boxText(const char* name, int align, bool vertical, int textType = 1) {
    return labelObject(element("ObjectName", name) + element("texttype", textType) + element("texttextalign", align) +
                       element("isverticaltext", vertical) + element("Xposition", 10.0f) + element("textwidth", 20.0f));
}

TEST(LsfLoad, OldFilesMoveAlignedBoxTextsRight) {
    const struct {
        const char* version;
        float x;
    } versions[] = {
        {"2.0", 20.0f}, {"4.0", 10.0f},  {"abc", 20.0f},  {"3.51", 10.0f}, {"3.5099", 20.0f}, {"7.0", 10.0f},
        {"5.0", 20.0f}, {"4.85", 20.0f}, {"6.212", 20.0f}, {"6.2121", 10.0f}, {"nan", 10.0f},  {"-1", 20.0f},
    };
    for (const auto& c : versions) {
        mk::test::LsfImage image = goodImage();
        image.version = c.version;
        image.objectsXml = boxText("text1", 1, false);
        DocPtr doc = loadImage(image.build());
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 1);
        EXPECT_EQ(doc->objects[0].Xposition, c.x) << c.version;
    }

    const struct {
        std::string xml;
        float x;
    } objects[] = {
        {boxText("text1", 2, false), 30.0f},
        {boxText("textbox", 1, false), 20.0f},
        {boxText("text1", 0, false), 10.0f},
        {boxText("text1", 3, false), 10.0f},
        {boxText("text1", 1, true), 10.0f},
        {boxText("text1", 1, false, 0), 10.0f},
        {boxText("Text1", 1, false), 10.0f},
        {boxText("tex", 1, false), 10.0f},
        {boxText("barcode1", 1, false), 10.0f},
    };
    for (const auto& c : objects) {
        mk::test::LsfImage image = goodImage();
        image.version = "2.0";
        image.objectsXml = c.xml;
        DocPtr doc = loadImage(image.build());
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->objects.at(0).Xposition, c.x) << c.xml;
    }
}

TEST(LsfLoad, SuccessLeavesTheLastErrorAsItWas) {
    std::thread([] {
        DocPtr doc = loadImage(goodImage().build());
        EXPECT_NE(doc, nullptr);
        EXPECT_EQ(MkGetLastErrorCode(), 0);
        EXPECT_STREQ(MkGetLastErrorMessage(), "");

        EXPECT_EQ(loadImage(withHeader("x|3.5|x|0")), nullptr);
        doc = loadImage(goodImage().build());
        EXPECT_NE(doc, nullptr);
        EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_PARAM_BLOCK_INFLATE);
        EXPECT_STREQ(MkGetLastErrorMessage(), "Failed to decompress parameter block.");
    }).join();
}

TEST(LsfLoad, BlocksInflatingBeyondTheLimitAreRefused) {
    const std::string huge(mk::kMaxInflatedBlockSize + 1, ' ');
    mk::test::LsfImage params = goodImage();
    params.paramsXml = kParams + huge;
    EXPECT_EQ(loadImage(params.build()), nullptr);
    EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_PARAM_BLOCK_INFLATE);

    mk::test::LsfImage objects = goodImage();
    objects.objectsXml = kObjects + huge;
    EXPECT_EQ(loadImage(objects.build()), nullptr);
    EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_OBJECTS_BLOCK_INFLATE);
}

// As many objects as the bound holds load (over 56 000 small ones), whatever
// their number; one more is refused and nothing of the file is kept.
TEST(LsfLoad, ObjectsAreRefusedOnlyBeyondTheBound) {
    const std::size_t most = mk::kMaxLoadedObjectsBytes / sizeof(LabelObject);
    const struct {
        std::size_t count;
        bool loads;
    } cases[] = {{most, true}, {most + 1, false}};
    for (const auto& c : cases) {
        std::string objects;
        for (std::size_t i = 0; i < c.count; ++i) objects += labelObject("");
        const DocPtr doc = loadImage(mk::test::buildLsf(kParams, objects));
        if (c.loads) {
            ASSERT_NE(doc, nullptr) << c.count;
            EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), static_cast<int>(c.count));
        } else {
            EXPECT_EQ(doc, nullptr) << c.count;
            EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_OBJECTS_XML);
            EXPECT_STREQ(MkGetLastErrorMessage(), "Failed to parse label objects from XML.");
        }
    }
}

TEST(InflateBlock, OutputGrowsUpToTheLimitAndNoFurther) {
    const std::string text(10000, 'a');
    const std::string stream = mk::test::compressBlock(text);
    const auto* data = reinterpret_cast<const unsigned char*>(stream.data());
    const int size = static_cast<int>(stream.size());
    mk::InflatedText out;
    EXPECT_TRUE(mk::inflateBlock(data, size, out, text.size()));
    EXPECT_EQ(std::string_view(out), text);
    EXPECT_FALSE(mk::inflateBlock(data, size, out, text.size() - 1));
    EXPECT_FALSE(mk::inflateBlock(data, 0, out));
    EXPECT_FALSE(mk::inflateBlock(nullptr, size, out));
}

using mk::test::TempDir;

TEST(LsfLoad, FilesLoadLikeTheirBytes) {
    TempDir dir;
    const fs::path path = dir.path() / mk::test::utf8Path("\xC3\xA9tiquette \xE6\xA0\x87\xE7\xAD\xBE.lsf");
    ASSERT_TRUE(mk::test::writeFile(path, goodImage().build()));
    DocPtr doc(MkLabelDoc_Load(mk::test::utf8Of(path).c_str()));
    ASSERT_NE(doc, nullptr) << MkGetLastErrorMessage();
    EXPECT_EQ(MkLabelDoc_GetPrinterDpi(doc.get()), 300);
    EXPECT_EQ(MkLabelDoc_GetObjectCount(doc.get()), 2);
}

TEST(LsfLoad, FilesThatCannotBeReadAreRefusedWithThePath) {
    TempDir dir;
    const fs::path missing = dir / "missing.lsf";
    const fs::path empty = dir / "empty.lsf";
    ASSERT_TRUE(mk::test::writeFile(empty, ""));
    const fs::path garbage = dir / "garbage.lsf";
    ASSERT_TRUE(mk::test::writeFile(garbage, "LSF|1|2"));
    // Sparse: no disk space is used for a file one byte past the format's size.
    const fs::path huge = dir / "huge.lsf";
    ASSERT_TRUE(mk::test::writeFile(huge, goodImage().build()));
    fs::resize_file(huge, std::uintmax_t{1} << 31);
    const fs::path directory = dir / "folder.lsf";
    fs::create_directory(directory);

    struct Case {
        fs::path path;
        int code;
        std::string message;
    };
    std::vector<Case> cases = {
        {missing, MK_ERR_OPEN_FILE, "Cannot open file: " + missing.string()},
        {directory, MK_ERR_OPEN_FILE, "Cannot open file: " + directory.string()},
        {huge, MK_ERR_READ_FILE, "Cannot read file: " + huge.string()},
        {empty, MK_ERR_BAD_HEADER, "Invalid LSF file header."},
        {garbage, MK_ERR_BAD_HEADER, "Invalid LSF file header."},
    };
#ifndef _WIN32
    const fs::path fifo = dir / "fifo.lsf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, MK_ERR_OPEN_FILE, "Cannot open file: " + fifo.string()});
#endif
    for (const auto& c : cases) {
        EXPECT_EQ(MkLabelDoc_Load(mk::test::utf8Of(c.path).c_str()), nullptr) << c.path;
        EXPECT_EQ(MkGetLastErrorCode(), c.code) << c.path;
        EXPECT_EQ(MkGetLastErrorMessage(), c.message);
    }
    EXPECT_EQ(MkLabelDoc_Load(nullptr), nullptr);
    EXPECT_EQ(MkGetLastErrorCode(), MK_ERR_OPEN_FILE);
    EXPECT_STREQ(MkGetLastErrorMessage(), "Cannot open file: ");
}

TEST(LsfLoad, LoadsOnSeveralThreadsKeepTheirOwnLastError) {
    const std::string good = goodImage().build();
    const std::string bad = withHeader("x|3.5|x|7FFFFFFF");
    auto worker = [](const std::string& image, int expectedCode) {
        for (int i = 0; i < 50; ++i) {
            DocPtr doc = loadImage(image);
            EXPECT_EQ(doc == nullptr, expectedCode != 0);
            EXPECT_EQ(MkGetLastErrorCode(), expectedCode);
        }
    };
    std::thread first(worker, std::cref(good), 0);
    std::thread second(worker, std::cref(bad), MK_ERR_PARAM_BLOCK_SIZE);
    first.join();
    second.join();
}

}  // namespace
